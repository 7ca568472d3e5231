#!/usr/bin/env bash
# The ctest entry of the tokenizer's browser comparison (label "browser").
#
#   tests/browser/check-tokenizer.sh NPM_DIR ROUNDTRIP_BINARY [compare-tokenizer.js options]
#
# Installs the npm packages into NPM_DIR when they are not there yet, then runs
# compare-tokenizer.js. Without node, npm or chromium it fails under CI (CI=true); run by hand
# it skips (exit 77, which ctest reports as skipped) and says what is missing.
set -euo pipefail

readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if (($# < 2)); then
  echo "usage: $0 NPM_DIR ROUNDTRIP_BINARY [compare-tokenizer.js options]" >&2
  exit 2
fi
readonly NPM_DIR=$1 ROUNDTRIP=$2
shift 2
readonly CHROMIUM=${CHROMIUM:-/usr/bin/chromium}

missing=()
command -v node >/dev/null || missing+=("node (Debian package nodejs)")
command -v npm >/dev/null || missing+=("npm (Debian package npm)")
[[ -x $CHROMIUM ]] || missing+=("$CHROMIUM (Debian package chromium)")
if ((${#missing[@]})); then
  if [[ ${CI:-} == true ]]; then
    echo "check-tokenizer: FAILED, missing ${missing[*]}" >&2
    exit 1
  fi
  echo "check-tokenizer: SKIPPED, missing ${missing[*]}; scripts/quorix.sh test installs them" >&2
  exit 77
fi

"$HERE/setup.sh" "$NPM_DIR"
export CHROMIUM
NODE_PATH=$NPM_DIR/node_modules exec node "$HERE/compare-tokenizer.js" --roundtrip "$ROUNDTRIP" "$@"
