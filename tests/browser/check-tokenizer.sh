#!/usr/bin/env bash
# The ctest entry of the tokenizer's browser comparison (label "browser").
#
#   tests/browser/check-tokenizer.sh NPM_DIR ROUNDTRIP_BINARY [compare-tokenizer.js options]
#
# Installs the npm packages into NPM_DIR when they are not there yet, then runs
# compare-tokenizer.js. Without node, npm or chromium it fails under CI and skips when run by
# hand (require-browser.sh).
set -euo pipefail

readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if (($# < 2)); then
  echo "usage: $0 NPM_DIR ROUNDTRIP_BINARY [compare-tokenizer.js options]" >&2
  exit 2
fi
readonly NPM_DIR=$1 ROUNDTRIP=$2
shift 2
# shellcheck source=require-browser.sh
source "$HERE/require-browser.sh"
require_browser check-tokenizer

"$HERE/setup.sh" "$NPM_DIR"
NODE_PATH=$NPM_DIR/node_modules exec node "$HERE/compare-tokenizer.js" --roundtrip "$ROUNDTRIP" "$@"
