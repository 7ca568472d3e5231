#!/usr/bin/env bash
# The ctest entry of the HTML filter's browser check (label "browser").
#
#   tests/browser/check-filter.sh NPM_DIR FILTER_BINARY WORK_DIR [check-filter.js options]
#
# Installs the npm packages into NPM_DIR when they are not there yet, then runs
# check-filter.js, which writes everything it renders and its report.json under WORK_DIR.
# Without node, npm or chromium it fails under CI and skips when run by hand
# (require-browser.sh).
set -euo pipefail

readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if (($# < 3)); then
  echo "usage: $0 NPM_DIR FILTER_BINARY WORK_DIR [check-filter.js options]" >&2
  exit 2
fi
readonly NPM_DIR=$1 FILTER=$2 WORK=$3
shift 3
# shellcheck source=require-browser.sh
source "$HERE/require-browser.sh"
require_browser check-filter

"$HERE/setup.sh" "$NPM_DIR"
NODE_PATH=$NPM_DIR/node_modules exec node "$HERE/check-filter.js" --filter "$FILTER" --work "$WORK" "$@"
