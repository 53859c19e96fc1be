#!/usr/bin/env bash
# Renders the main window on the demo alias into docs/main-window.png (or the
# path given). Builds nothing: run scripts/build.sh (or build the target
# window_screenshot) first. Runs offscreen with a throw-away HOME, so the
# user's aliases and files are never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_BUILD_DIR:-$root/build}
out=${1:-$root/docs/main-window.png}
exe=$build/tests/browser/window/window_screenshot
if [[ ! -x "$exe" ]]; then
  echo "screenshot.sh: $exe not built" >&2
  exit 1
fi
home=$(mktemp -d /tmp/pelldrake-shot.XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$(dirname "$out")"
(cd "$home" && HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
  QT_QPA_PLATFORM=offscreen "$exe" "$out")
echo "wrote $out"
