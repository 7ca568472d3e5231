#!/usr/bin/env bash
# Quorix's one entry point for building and checking the tree on Debian 12.
#
#   scripts/quorix.sh test   install what is missing, build, run the whole suite:
#                            the normal build's tests, the sanitizer build's tests,
#                            then every fuzz target for a short run on its seeds.
#
# Run as root on a fresh machine, or as a user once the packages are there.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
readonly JOBS=2
readonly FUZZ_SECONDS=${QUORIX_FUZZ_SECONDS:-30}

readonly PACKAGES=(
  cmake ninja-build g++ git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
)

log() { printf '\n==> %s\n' "$*"; }

install_packages() {
  local missing=()
  local package
  for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if ((${#missing[@]} == 0)); then
    log "All build packages are installed"
    return
  fi
  if ((EUID != 0)); then
    echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
    exit 1
  fi
  log "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# configure_and_build <build dir> <cmake options>...
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir" --parallel "$JOBS"
}

TESTS_PASSED=0
TESTS_FAILED=0

# run_suite <build dir>: runs ctest and adds its counts to the totals.
run_suite() {
  local dir=$1
  local output
  local status=0
  output=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure --parallel "$JOBS" 2>&1 | tee "$output" || status=$?
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$output" | tail -n 1 || true)
  rm -f "$output"
  if [[ -z $summary ]]; then
    echo "ctest in $dir printed no summary" >&2
    exit 1
  fi
  local failed total
  failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  TESTS_PASSED=$((TESTS_PASSED + total - failed))
  TESTS_FAILED=$((TESTS_FAILED + failed))
  if ((status != 0)); then
    return 1
  fi
}

# run_fuzzers <build dir>: each target for FUZZ_SECONDS on a scratch copy of its seeds, two at a time.
run_fuzzers() {
  local dir=$1
  local scratch
  scratch=$(mktemp -d)
  local targets=()
  local binary
  for binary in "$dir"/fuzz/fuzz_*; do
    [[ -x $binary ]] && targets+=("$(basename "$binary")")
  done
  if ((${#targets[@]} == 0)); then
    echo "No fuzz targets were built" >&2
    exit 1
  fi
  export FUZZ_DIR=$dir FUZZ_SCRATCH=$scratch FUZZ_SECONDS ROOT
  local status=0
  printf '%s\n' "${targets[@]}" | xargs -P "$JOBS" -I{} bash -c '
    name={}; seeds="$ROOT/fuzz/corpus/${name#fuzz_}"
    mkdir -p "$FUZZ_SCRATCH/$name/new"
    if [[ ! -d $seeds ]]; then echo "$name: no seed folder $seeds" >&2; exit 1; fi
    if "$FUZZ_DIR/fuzz/$name" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
         -artifact_prefix="$FUZZ_SCRATCH/$name/" "$FUZZ_SCRATCH/$name/new" "$seeds" \
         >"$FUZZ_SCRATCH/$name/log" 2>&1; then
      echo "fuzz $name: passed ($(grep -Eo "Done [0-9]+ runs" "$FUZZ_SCRATCH/$name/log" | grep -Eo "[0-9]+") runs)"
    else
      echo "fuzz $name: FAILED"; tail -n 60 "$FUZZ_SCRATCH/$name/log"; exit 1
    fi' || status=$?
  local count=${#targets[@]}
  if ((status != 0)); then
    TESTS_FAILED=$((TESTS_FAILED + 1))
    TESTS_PASSED=$((TESTS_PASSED + count - 1))
  else
    TESTS_PASSED=$((TESTS_PASSED + count))
    rm -rf "$scratch"
  fi
  return "$status"
}

command_test() {
  install_packages
  local status=0

  log "Normal build"
  configure_and_build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  log "Normal build: tests"
  run_suite "$ROOT/build/release" || status=1

  log "Sanitizer build (address, undefined behaviour)"
  configure_and_build "$ROOT/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUORIX_SANITIZE=ON
  log "Sanitizer build: tests"
  run_suite "$ROOT/build/sanitize" || status=1

  log "Fuzz targets (clang, libFuzzer), ${FUZZ_SECONDS}s each"
  configure_and_build "$ROOT/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORIX_FUZZ=ON
  run_fuzzers "$ROOT/build/fuzz" || status=1

  log "Summary"
  echo "quorix: ${TESTS_PASSED} passed, ${TESTS_FAILED} failed"
  return "$status"
}

case "${1:-}" in
  test) command_test ;;
  *)
    echo "usage: $0 test" >&2
    exit 2
    ;;
esac
