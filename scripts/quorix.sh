#!/usr/bin/env bash
# Quorix's one entry point for building and checking the tree on Debian 12.
#
#   scripts/quorix.sh test   install what is missing, build, run the whole suite:
#                            the normal build's tests, clang-tidy over our sources, the
#                            sanitizer build's tests, then every fuzz target for a short run
#                            on its seeds.
#   scripts/quorix.sh demo   install what is missing, build quorix (in build/release, as
#                            test does), and run it between a private Dovecot and mpop in a
#                            scratch folder (tests/e2e/demo.py): it prints what Quorix changed
#                            in each message and where the fetched mail is, and leaves
#                            nothing running.
#
# As root it installs and builds as root. As an ordinary user it installs the missing
# packages with sudo and builds as that user; run with sudo, it installs as root and then
# builds as the user who called sudo, so build/ stays usable for the single steps.
#
# For test, whatever fails, the last line is the summary "quorix: N passed, N failed[, N skipped]",
# and the exit status is non-zero when anything failed.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
readonly JOBS=2
readonly FUZZ_SECONDS=${QUORIX_FUZZ_SECONDS:-30}

readonly PACKAGES=(
  cmake ninja-build g++ git
  libgtest-dev libgmock-dev libbenchmark-dev
  libgmime-3.0-dev pkg-config
  clang clang-tidy libclang-rt-14-dev
  util-linux
  python3 time
  libssl-dev
  libnss-wrapper dovecot-pop3d mpop fetchmail openssl
  chromium fonts-liberation
)
# Wanted as commands, from whichever package brought them: a machine may have Node.js from
# another source, with npm inside it, where Debian's npm package would conflict.
readonly COMMAND_PACKAGES=(node:nodejs npm:npm)

log() { printf '\n==> %s\n' "$*"; }

missing_packages() {
  local package
  for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      printf '%s\n' "$package"
    fi
  done
  local entry
  for entry in "${COMMAND_PACKAGES[@]}"; do
    command -v "${entry%%:*}" >/dev/null || printf '%s\n' "${entry#*:}"
  done
}

install_packages() {
  local missing
  mapfile -t missing < <(missing_packages)
  if ((${#missing[@]} == 0)); then
    log "All build packages are installed"
    return 0
  fi
  local -a privileged=()
  if ((EUID != 0)); then
    if ! command -v sudo >/dev/null; then
      echo "Missing packages: ${missing[*]}. Install them as root:" >&2
      echo "  apt-get install ${missing[*]}" >&2
      return 1
    fi
    privileged=(sudo)
  fi
  log "Installing ${missing[*]}"
  "${privileged[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
    "${privileged[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Under sudo, everything after the install runs as the calling user.
drop_to_calling_user() {
  if ((EUID == 0)) && [[ -n ${SUDO_USER:-} && $SUDO_USER != root ]]; then
    local home
    home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    log "Building as $SUDO_USER, who called sudo"
    exec runuser -u "$SUDO_USER" -- env HOME="$home" USER="$SUDO_USER" LOGNAME="$SUDO_USER" \
      QUORIX_PACKAGES_CHECKED=1 bash "$ROOT/scripts/quorix.sh" "$@"
  fi
}

check_build_folder_is_ours() {
  if [[ -d $ROOT/build && ! -w $ROOT/build ]]; then
    echo "$ROOT/build belongs to $(stat -c %U "$ROOT/build") and cannot be written by $(id -un);" >&2
    echo "remove it (sudo rm -rf '$ROOT/build') and run this command again." >&2
    return 1
  fi
}

PASSED=0
FAILED=0
SKIPPED=0

fail() {
  FAILED=$((FAILED + 1))
  echo "FAILED: $*" >&2
}

# The normal build, shared by test and demo.
readonly RELEASE_DIR=$ROOT/build/release
readonly RELEASE_OPTIONS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)

# build_tree <build dir> [<cmake options>...] [-- <targets>...]: configures (warnings are
# errors) and builds the targets, or everything.
build_tree() {
  local dir=$1
  shift
  local -a options=() targets=()
  while (($# > 0)) && [[ $1 != -- ]]; do
    options+=("$1")
    shift
  done
  (($# > 0)) && shift
  targets=("$@")
  cmake -S "$ROOT" -B "$dir" -G Ninja -DQUORIX_WERROR=ON "${options[@]}" &&
    cmake --build "$dir" --parallel "$JOBS" ${targets[@]+--target "${targets[@]}"}
}

# configure_and_build <build dir> <cmake options>...: one check; fails without stopping.
configure_and_build() {
  local dir=$1
  if build_tree "$@"; then
    PASSED=$((PASSED + 1))
    return 0
  fi
  fail "build in $dir"
  return 1
}

# junit_count <file> <attribute>: a count from ctest's JUnit report.
junit_count() {
  grep -m1 -Eo "\\b$2=\"[0-9]+\"" "$1" | grep -Eo '[0-9]+' || echo 0
}

# run_suite <build dir> [ctest options]...: runs ctest and adds each test to the totals.
run_suite() {
  local dir=$1
  shift
  local report="$dir/ctest-report.xml"
  rm -f "$report"
  ctest --test-dir "$dir" --output-on-failure --parallel "$JOBS" --output-junit "$report" "$@"
  local status=$?
  if [[ ! -s $report ]]; then
    fail "ctest in $dir wrote no report"
    return 1
  fi
  local total failures skipped
  total=$(junit_count "$report" tests)
  failures=$(junit_count "$report" failures)
  skipped=$(junit_count "$report" skipped)
  PASSED=$((PASSED + total - failures - skipped))
  FAILED=$((FAILED + failures))
  SKIPPED=$((SKIPPED + skipped))
  if ((status != 0 && failures == 0)); then
    fail "ctest in $dir exited with $status"
  fi
}

# Our own sources, the libraries and programs, without the big data tables (generated, or
# rows of data only) that would only slow the run.
tidy_sources() {
  git -C "$ROOT" ls-files -- '*.cpp' |
    grep -E '^(common|platform|mailparser|html|config|engine|logs|proxy|integration|app)/' |
    grep -v -E '/(SingleByte|DoubleByte|HTMLEntity|HTMLTag)Tables\.cpp$' | sed "s|^|$ROOT/|"
}

# run_tidy <build dir>: clang-tidy with the committed configuration; any finding fails.
run_tidy() {
  local dir=$1
  local output="$dir/clang-tidy.log"
  local sources
  mapfile -t sources < <(tidy_sources)
  run-clang-tidy -p "$dir" -quiet -j "$JOBS" "${sources[@]}" >"$output" 2>&1
  local status=$?
  local findings
  # run-clang-tidy always colours its output; the colour codes go before matching.
  findings=$(sed 's/\x1b\[[0-9;]*m//g' "$output" | grep -E '^/.*: (warning|error): ' | sort -u)
  if [[ -n $findings ]]; then
    printf '%s\n' "$findings"
    fail "clang-tidy: $(wc -l <<<"$findings") findings"
  elif ((status != 0)); then
    tail -n 40 "$output"
    fail "clang-tidy exited with $status"
  else
    echo "clang-tidy: no findings in ${#sources[@]} files"
    PASSED=$((PASSED + 1))
  fi
}

# run_fuzzers <build dir>: each target for FUZZ_SECONDS on a scratch copy of its seeds, two at
# a time; each target is one check.
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
    fail "no fuzz targets were built"
    return 1
  fi
  export FUZZ_DIR=$dir FUZZ_SCRATCH=$scratch FUZZ_SECONDS ROOT
  printf '%s\n' "${targets[@]}" | xargs -P "$JOBS" -I{} bash -c '
    name={}; seeds="$ROOT/fuzz/corpus/${name#fuzz_}"
    mkdir -p "$FUZZ_SCRATCH/$name/new"
    if [[ ! -d $seeds ]]; then
      echo "fuzz $name: FAILED (no seed folder $seeds)"; echo failed >"$FUZZ_SCRATCH/$name/result"; exit 0
    fi
    if "$FUZZ_DIR/fuzz/$name" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
         -artifact_prefix="$FUZZ_SCRATCH/$name/" "$FUZZ_SCRATCH/$name/new" "$seeds" \
         >"$FUZZ_SCRATCH/$name/log" 2>&1; then
      echo "fuzz $name: passed ($(grep -Eo "Done [0-9]+ runs" "$FUZZ_SCRATCH/$name/log" | grep -Eo "[0-9]+") runs)"
      echo passed >"$FUZZ_SCRATCH/$name/result"
    else
      echo "fuzz $name: FAILED"; tail -n 60 "$FUZZ_SCRATCH/$name/log"
      echo failed >"$FUZZ_SCRATCH/$name/result"
    fi'
  local name failures=0
  for name in "${targets[@]}"; do
    if [[ $(cat "$scratch/$name/result" 2>/dev/null) == passed ]]; then
      PASSED=$((PASSED + 1))
    else
      fail "fuzz target $name (inputs kept in $scratch/$name)"
      failures=$((failures + 1))
    fi
  done
  ((failures == 0)) && rm -rf "$scratch"
}

command_test() {
  if [[ -z ${QUORIX_PACKAGES_CHECKED:-} ]]; then
    install_packages || {
      fail "installing the build packages"
      summary
      return 1
    }
  fi
  drop_to_calling_user test
  check_build_folder_is_ours || {
    fail "build folder"
    summary
    return 1
  }

  log "Normal build"
  if configure_and_build "$RELEASE_DIR" "${RELEASE_OPTIONS[@]}"; then
    log "Normal build: tests"
    run_suite "$RELEASE_DIR"
    log "clang-tidy"
    run_tidy "$RELEASE_DIR"
  fi

  log "Sanitizer build (address, undefined behaviour)"
  if configure_and_build "$ROOT/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUORIX_SANITIZE=ON; then
    log "Sanitizer build: tests"
    run_suite "$ROOT/build/sanitize"
  fi

  log "Fuzz targets (clang, libFuzzer), ${FUZZ_SECONDS}s each"
  if configure_and_build "$ROOT/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORIX_FUZZ=ON; then
    run_fuzzers "$ROOT/build/fuzz"
  fi

  summary
  ((FAILED == 0))
}

command_demo() {
  if [[ -z ${QUORIX_PACKAGES_CHECKED:-} ]]; then
    install_packages || return 1
  fi
  drop_to_calling_user demo
  check_build_folder_is_ours || return 1
  log "Building quorix in $RELEASE_DIR"
  if ! build_tree "$RELEASE_DIR" "${RELEASE_OPTIONS[@]}" -- quorix; then
    echo "The build failed; nothing was started." >&2
    return 1
  fi
  log "Demo: Dovecot, Quorix and mpop on this machine"
  python3 "$ROOT/tests/e2e/demo.py" "$RELEASE_DIR/app/quorix" "$ROOT/tests/data"
}

summary() {
  log "Summary"
  local line="quorix: ${PASSED} passed, ${FAILED} failed"
  ((SKIPPED > 0)) && line+=", ${SKIPPED} skipped"
  echo "$line"
}

# Sourcing the script (for trying a single step by hand) defines the steps and runs nothing.
[[ ${BASH_SOURCE[0]} == "$0" ]] || return 0

case "${1:-}" in
  test) command_test ;;
  demo) command_demo ;;
  *)
    echo "usage: $0 test | demo" >&2
    exit 2
    ;;
esac
