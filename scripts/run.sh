#!/usr/bin/env bash
# Sets up, builds and starts Pelldrake on the sample SQLite alias.
# The program keeps its pane configuration files (Pelldrake.cfg, Pelldrake2.cfg) in the
# directory it starts in; this script starts it in $PELLDRAKE_START_DIR (default
# ~/.local/share/Pelldrake), and on the very first run seeds pane 1 with the sample alias
# and its customers table so the window opens on data.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
start=${PELLDRAKE_START_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/Pelldrake}
mkdir -p "$start"
cd "$start"
if [[ ! -e Pelldrake.cfg ]]; then
  printf 'AliasCombo=PelldrakeDemo\r\nListBox1=customers\r\nFieldNameCombo=\r\nTypeComboBox=\r\n' > Pelldrake.cfg
fi
exec "${PELLDRAKE_BUILD_DIR:-$root/build}/pelldrake"
