#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a fixed
# time over a scratch copy of its seed corpus. Usage: scripts/fuzz.sh [SECONDS]
# (default 30). A crash, leak or sanitizer report fails the run and leaves the
# input that caused it in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
findings=build/fuzz/findings
mkdir -p "$findings"
for source in fuzz/*_fuzzer.cpp; do
  name=$(basename "$source" .cpp)
  scratch=$(mktemp -d)
  echo "== $name for ${seconds}s"
  log="$findings/$name.log"
  status=0
  build/fuzz/fuzz/"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/$name-" -print_final_stats=1 "$scratch" "fuzz/corpus/$name" \
    >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" || true
  if [[ $status -ne 0 ]]; then
    tail -n 60 "$log" >&2
    echo "$name failed (exit $status); inputs in $findings" >&2
    exit 1
  fi
done
