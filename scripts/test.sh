#!/usr/bin/env bash
# Sets up, builds and runs every test: the ctest suite (SQLite and a throw-away
# PostgreSQL cluster on loopback, widgets on the offscreen platform), the engine and
# widget tests again built with AddressSanitizer + UndefinedBehaviorSanitizer
# (scripts/sanitize.sh), then the fuzz targets for a bounded time.
#   PELLDRAKE_FUZZ_SECONDS  seconds per fuzz target (default 20; 0 skips fuzzing)
#   PELLDRAKE_SANITIZE      0 skips the sanitized run (default 1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLDRAKE_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

# A PostgreSQL server for the engine tests, unless the caller gave one.
if [[ -z "${PELLDRAKE_TEST_PG_HOST:-}" ]]; then
  pgdir=$(mktemp -d /tmp/pelldrake-pg.XXXXXX)
  port=${PELLDRAKE_TEST_PG_PORT_START:-54329}
  trap '"$root/scripts/pg.sh" stop "$pgdir"; rm -rf "$pgdir"' EXIT
  eval "$("$root/scripts/pg.sh" start "$pgdir" "$port")"
fi

export QT_QPA_PLATFORM=offscreen
# Tests write their files below a temporary HOME, never into the user's own.
test_home=$(mktemp -d /tmp/pelldrake-home.XXXXXX)
ctest_log=$test_home/ctest.log
HOME=$test_home XDG_CONFIG_HOME=$test_home/.config XDG_DATA_HOME=$test_home/.local/share \
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$ctest_log"
summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$ctest_log" | tail -n 1)
rm -rf "$test_home"

sanitized="sanitized tests: skipped"
if [[ "${PELLDRAKE_SANITIZE:-1}" != 0 ]]; then
  start=$SECONDS
  if "$root/scripts/sanitize.sh"; then
    sanitized="sanitized tests: passed ($((SECONDS - start)) s)"
  else
    sanitized="sanitized tests: FAILED"
  fi
fi

secs=${PELLDRAKE_FUZZ_SECONDS:-20}
if [[ "$secs" != 0 ]]; then
  "$root/scripts/fuzz.sh" "$secs"
fi
# The suite's verdict last, where a reader of the log looks for it.
echo "$sanitized"
echo "$summary"
[[ "$sanitized" != *FAILED* ]]
