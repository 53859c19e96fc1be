#!/usr/bin/env bash
# Renders the main window on the demo alias into docs/main-window.png, and a
# pane with an open table of the demo database (grid, memo, information
# listing) into docs/pane-open-table.png (or the paths given). Builds nothing:
# run scripts/build.sh (or build the targets window_screenshot and
# pane_screenshot) first. Runs offscreen with a throw-away HOME, so the user's
# aliases and files are never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_BUILD_DIR:-$root/build}
out=${1:-$root/docs/main-window.png}
pane_out=${2:-$root/docs/pane-open-table.png}
# The programs run inside the throw-away HOME: give them absolute paths.
out=$(realpath -m "$out")
pane_out=$(realpath -m "$pane_out")
exe=$build/tests/browser/window/window_screenshot
pane_exe=$build/tests/browser/ops/pane_screenshot
for e in "$exe" "$pane_exe"; do
  if [[ ! -x "$e" ]]; then
    echo "screenshot.sh: $e not built" >&2
    exit 1
  fi
done
home=$(mktemp -d /tmp/pelldrake-shot.XXXXXX)
trap 'rm -rf "$home"' EXIT

# Each picture starts from a fresh HOME: no stored aliases or pane files.
shoot() {
  local program=$1 target=$2
  rm -rf "${home:?}"/* "$home"/.[!.]* 2>/dev/null || true
  mkdir -p "$(dirname "$target")"
  (cd "$home" && HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    QT_QPA_PLATFORM=offscreen "$program" "$target")
  echo "wrote $target"
}
shoot "$exe" "$out"
shoot "$pane_exe" "$pane_out"
