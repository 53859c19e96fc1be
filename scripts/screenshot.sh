#!/usr/bin/env bash
# Renders the main window at its first start on a 1366 x 768 screen, on the
# demo alias, into docs/main-window.png, and a
# pane with an open table of the demo database (grid, memo, information
# listing) into docs/pane-open-table.png, and the field view and the query
# window into docs/field-view.png and docs/query-window.png (or the paths
# given). Builds nothing:
# run scripts/build.sh (or build the targets window_screenshot and
# pane_screenshot) first. Runs offscreen with a throw-away HOME, so the user's
# aliases and files are never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_BUILD_DIR:-$root/build}
out=${1:-$root/docs/main-window.png}
pane_out=${2:-$root/docs/pane-open-table.png}
field_out=${3:-$root/docs/field-view.png}
query_out=${4:-$root/docs/query-window.png}
# The programs run inside the throw-away HOME: give them absolute paths.
out=$(realpath -m "$out")
pane_out=$(realpath -m "$pane_out")
field_out=$(realpath -m "$field_out")
query_out=$(realpath -m "$query_out")
exe=$build/tools/screenshots/window_screenshot
pane_exe=$build/tools/screenshots/pane_screenshot
tools_exe=$build/tools/screenshots/tools_screenshot
for e in "$exe" "$pane_exe" "$tools_exe"; do
  if [[ ! -x "$e" ]]; then
    echo "screenshot.sh: $e not built" >&2
    exit 1
  fi
done
home=$(mktemp -d /tmp/pelldrake-shot.XXXXXX)
trap 'rm -rf "$home" "$screen"' EXIT
# A laptop's screen, 1366 x 768: the main window's first start fits itself to it.
screen=$(mktemp /tmp/pelldrake-screen.XXXXXX.json)
echo '{"screens":[{"name":"laptop","x":0,"y":0,"width":1366,"height":768,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]}' >"$screen"

# Each picture starts from a fresh HOME: no stored aliases or pane files.
shoot() {
  local program=$1
  shift
  rm -rf "${home:?}"/* "$home"/.[!.]* 2>/dev/null || true
  for target in "$@"; do mkdir -p "$(dirname "$target")"; done
  (cd "$home" && HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    QT_QPA_PLATFORM="offscreen:configfile=$screen" "$program" "$@")
  echo "wrote $*"
}
shoot "$exe" "$out"
shoot "$pane_exe" "$pane_out"
shoot "$tools_exe" "$field_out" "$query_out"
