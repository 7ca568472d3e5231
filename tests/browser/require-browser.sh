# Sourced by the ctest entries of the browser checks: require_browser NAME makes sure node,
# npm and Chromium are there. Without them it fails under CI (CI=true); run by hand it skips
# (exit 77, which ctest reports as skipped) and says what is missing.
require_browser() {
  local name=$1
  CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
  local missing=()
  command -v node >/dev/null || missing+=("node (Debian package nodejs)")
  command -v npm >/dev/null || missing+=("npm (Debian package npm)")
  [[ -x $CHROMIUM ]] || missing+=("$CHROMIUM (Debian package chromium)")
  if ((${#missing[@]})); then
    if [[ ${CI:-} == true ]]; then
      echo "$name: FAILED, missing ${missing[*]}" >&2
      exit 1
    fi
    echo "$name: SKIPPED, missing ${missing[*]}; scripts/quorix.sh test installs them" >&2
    exit 77
  fi
  export CHROMIUM
}
