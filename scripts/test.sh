#!/usr/bin/env bash
# Sets up, builds and runs every test. The suite is compiled once, with AddressSanitizer and
# UndefinedBehaviorSanitizer, into build-sanitize/ (or $PELLDRAKE_TEST_BUILD_DIR), and ctest runs
# every case there: SQLite, a throw-away PostgreSQL cluster on loopback, widgets on the offscreen
# platform. Any sanitizer report, a memory leak included, fails its test. Then the fuzz targets
# run for a bounded time. The plain build (scripts/build.sh) is for the program and the benchmarks.
#   PELLDRAKE_FUZZ_SECONDS  seconds per fuzz target (default 20; 0 skips fuzzing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_TEST_BUILD_DIR:-$root/build-sanitize}
start=$SECONDS
"$root/scripts/setup.sh"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# -O1 and line tables only: the sanitizers' reports keep their file:line stacks, the compile
# takes a good deal less than -O2 -g. The widget libraries and the test programs parse their
# Qt and GoogleTest headers once each (cmake/precompile.cmake).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLDRAKE_SANITIZE=ON \
  -DPELLDRAKE_BENCH=OFF -DPELLDRAKE_PCH=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

# A PostgreSQL server for the engine tests, unless the caller gave one.
if [[ -z "${PELLDRAKE_TEST_PG_HOST:-}" ]]; then
  pgdir=$(mktemp -d /tmp/pelldrake-pg.XXXXXX)
  port=${PELLDRAKE_TEST_PG_PORT_START:-54329}
  trap '"$root/scripts/pg.sh" stop "$pgdir"; rm -rf "$pgdir"' EXIT
  eval "$("$root/scripts/pg.sh" start "$pgdir" "$port")"
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:detect_leaks=1}
# Leaks inside the system's font and bus libraries are not ours (scripts/lsan.supp).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Tests write their files below a temporary HOME, never into the user's own.
test_home=$(mktemp -d /tmp/pelldrake-home.XXXXXX)
ctest_log=$test_home/ctest.log
HOME=$test_home XDG_CONFIG_HOME=$test_home/.config XDG_DATA_HOME=$test_home/.local/share \
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$ctest_log" || true
summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$ctest_log" | tail -n 1)
rm -rf "$test_home"

secs=${PELLDRAKE_FUZZ_SECONDS:-20}
fuzzed="fuzzing: skipped"
if [[ "$secs" != 0 ]]; then
  if "$root/scripts/fuzz.sh" "$secs"; then fuzzed="fuzzing: passed"; else fuzzed="fuzzing: FAILED"; fi
fi
# The suite's verdict last, where a reader of the log looks for it.
echo "$fuzzed"
echo "${summary:-ctest: no summary (the run stopped early)}"
echo "scripts/test.sh: $((SECONDS - start)) s"
[[ "$summary" == "100% tests passed"* && "$fuzzed" != *FAILED* ]]
