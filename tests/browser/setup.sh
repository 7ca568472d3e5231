#!/usr/bin/env bash
# Installs the browser checks' npm packages (playwright-core, which drives the system's
# chromium and downloads no browser) into DIR/node_modules from the committed lock file.
#
#   tests/browser/setup.sh DIR
#
# Idempotent: when DIR already holds exactly what the lock file names, it returns at once
# without asking the registry. Needs node and npm; the checks also need /usr/bin/chromium.
set -euo pipefail

if (($# != 1)); then
  echo "usage: $0 DIR" >&2
  exit 2
fi

readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly DIR=$1
readonly STAMP=$DIR/node_modules/.quorix-package-lock.json

for tool in node npm; do
  if ! command -v "$tool" >/dev/null; then
    echo "setup.sh: $tool is not installed (Debian packages nodejs and npm)" >&2
    exit 1
  fi
done

mkdir -p "$DIR"
if [[ -f $STAMP ]] && cmp -s "$STAMP" "$HERE/package-lock.json" &&
   [[ -f $DIR/node_modules/playwright-core/package.json ]]; then
  exit 0
fi

cp "$HERE/package.json" "$HERE/package-lock.json" "$DIR/"
# npm ci removes node_modules first, so a half-finished earlier install cannot survive.
npm ci --prefix "$DIR" --no-fund --no-audit --loglevel=error
cp "$HERE/package-lock.json" "$STAMP"
