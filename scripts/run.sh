#!/usr/bin/env bash
# Sets up, builds and starts Pelldrake on the sample SQLite alias.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exec "${PELLDRAKE_BUILD_DIR:-$root/build}/pelldrake"
