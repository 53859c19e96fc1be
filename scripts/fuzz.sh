#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined-behaviour sanitizers)
# and runs each for a bounded time, starting from its saved corpus.
#   fuzz.sh [SECONDS_PER_TARGET]   (default 30)
# New inputs found go to build-fuzz/corpus-new/<target>; a crash fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-30}
build=${PELLDRAKE_FUZZ_BUILD_DIR:-$root/build-fuzz}
CXX=clang++ CC=clang cmake -S "$root" -B "$build" -DPELLDRAKE_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
shopt -s nullglob
# One target per core at a time; each writes its own log, read once all have ended.
fuzz_one() {
  local exe=$1 name corpus work work_dir
  name=$(basename "$exe"); name=${name#fuzz_}
  corpus="$root/fuzz/corpus/$name"; work="$build/corpus-new/$name"
  mkdir -p "$work"
  work_dir=$(mktemp -d)   # targets that write files do so below their own temp dir
  (cd "$work_dir" && "$exe" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/crash-$name-" -print_final_stats=0 "$work" "$corpus" \
      >"$build/fuzz-$name.log" 2>&1)
  local rc=$?
  rm -rf "$work_dir"
  return $rc
}
jobs_max=$(nproc)
declare -A running=()
status=0
wait_one() {
  local pid rc=0
  wait -n -p pid || rc=$?
  local name=${running[$pid]}; unset "running[$pid]"
  if [[ $rc -ne 0 ]]; then
    echo "FAILED: $name (see $build/fuzz-$name.log)"; tail -n 40 "$build/fuzz-$name.log"; status=1
  fi
}
for exe in "$build"/fuzz/fuzz_*; do
  name=$(basename "$exe"); name=${name#fuzz_}
  echo "== fuzzing $name for ${secs}s"
  fuzz_one "$exe" & running[$!]=$name
  while [[ ${#running[@]} -ge $jobs_max ]]; do wait_one; done
done
while [[ ${#running[@]} -gt 0 ]]; do wait_one; done
exit $status
