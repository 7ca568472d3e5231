#!/usr/bin/env bash
# The ctest entry of the HTML filter's browser check (label "browser").
#
#   tests/browser/check-filter.sh NPM_DIR FILTER_BINARY WORK_DIR [check-filter.js options]
#
# Installs the npm packages into NPM_DIR when they are not there yet, then runs
# check-filter.js, which writes everything it renders and its report.json under WORK_DIR.
# Without node, npm or chromium it fails under CI (CI=true); run by hand it skips (exit 77,
# which ctest reports as skipped) and says what is missing.
set -euo pipefail

readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if (($# < 3)); then
  echo "usage: $0 NPM_DIR FILTER_BINARY WORK_DIR [check-filter.js options]" >&2
  exit 2
fi
readonly NPM_DIR=$1 FILTER=$2 WORK=$3
shift 3
readonly CHROMIUM=${CHROMIUM:-/usr/bin/chromium}

missing=()
command -v node >/dev/null || missing+=("node (Debian package nodejs)")
command -v npm >/dev/null || missing+=("npm (Debian package npm)")
[[ -x $CHROMIUM ]] || missing+=("$CHROMIUM (Debian package chromium)")
if ((${#missing[@]})); then
  if [[ ${CI:-} == true ]]; then
    echo "check-filter: FAILED, missing ${missing[*]}" >&2
    exit 1
  fi
  echo "check-filter: SKIPPED, missing ${missing[*]}; scripts/quorix.sh test installs them" >&2
  exit 77
fi

"$HERE/setup.sh" "$NPM_DIR"
export CHROMIUM
NODE_PATH=$NPM_DIR/node_modules exec node "$HERE/check-filter.js" --filter "$FILTER" --work "$WORK" "$@"
