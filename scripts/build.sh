#!/usr/bin/env bash
# Configures and builds the project into build/ (or $PELLDRAKE_BUILD_DIR).
# Uses ccache when it is installed, so rebuilds in other checkouts are quick.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_BUILD_DIR:-$root/build}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
  # Debug info names the build directory; other checkouts of the same sources still share.
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
