#!/usr/bin/env bash
# Sets up, builds and starts Pelldrake on the sample SQLite alias.
# The program keeps its pane configuration files (Pelldrake.cfg, Pelldrake2.cfg) in the
# directory it starts in; this script starts it in $PELLDRAKE_START_DIR (default
# ~/.local/share/Pelldrake), and on the very first run seeds pane 1 with the sample alias
# and its customers table so the window opens on data.
#
# Only the program itself is built here, and only what the build really does is shown:
# when everything is up to date nothing is printed and the window opens at once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  "$root/scripts/build.sh" # the first build: configure and build everything
else
  # make's bookkeeping ("Built target", code generators that find nothing to do) is dropped;
  # compiler lines, warnings and errors pass.
  status=0
  cmake --build "$build" --target pelldrake -j"$(nproc)" 2>&1 \
    | { grep --line-buffered -v -E '(Built target |Automatic (MOC|RCC|UIC)|Consolidate compiler generated dependencies)' || true; } \
    || status=$?
  if [[ $status -ne 0 ]]; then
    echo "run.sh: the build failed" >&2
    exit 1
  fi
fi
start=${PELLDRAKE_START_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/Pelldrake}
mkdir -p "$start"
cd "$start"
if [[ ! -e Pelldrake.cfg ]]; then
  printf 'AliasCombo=PelldrakeDemo\r\nListBox1=customers\r\nFieldNameCombo=\r\nTypeComboBox=\r\n' > Pelldrake.cfg
fi
exec "$build/pelldrake"
