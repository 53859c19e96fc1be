#!/usr/bin/env bash
# Builds the engine and widget tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ (or $PELLDRAKE_SANITIZE_BUILD_DIR) and runs each test executable there; the
# PostgreSQL cases run when PELLDRAKE_TEST_PG_* are set (scripts/test.sh sets them).
#   sanitize.sh [TEST_TARGET...]   (default: every engine and widget test executable)
# Any error report of a sanitizer, a leak included, fails the run; logs go to
# build-sanitize/<target>.log. Leaks inside the system's font and bus libraries are suppressed
# (scripts/lsan.supp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_SANITIZE_BUILD_DIR:-$root/build-sanitize}
targets=(engine_tests shell_tests window_tests browser_ops_tests window_tools_tests maintenance_tests)
[[ $# -gt 0 ]] && targets=("$@")

launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLDRAKE_SANITIZE=ON \
  -DPELLDRAKE_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

asan_options=${ASAN_OPTIONS:-abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
status=0
for target in "${targets[@]}"; do
  exe=$(find "$build/tests" -type f -name "$target" -perm -u+x | head -n 1)
  log=$build/$target.log
  home=$(mktemp -d /tmp/pelldrake-home.XXXXXX)
  start=$SECONDS
  if ASAN_OPTIONS="$asan_options:detect_leaks=1" HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
      "$exe" --gtest_brief=1 >"$log" 2>&1; then
    echo "sanitized $target: passed ($((SECONDS - start)) s)"
  else
    echo "sanitized $target: FAILED ($((SECONDS - start)) s, see $log)"
    tail -n 80 "$log"
    status=1
  fi
  rm -rf "$home"
done
exit $status
