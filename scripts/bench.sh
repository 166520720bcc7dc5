#!/usr/bin/env bash
# Builds and runs every benchmark, then writes the report table to
# bench/README.md (each figure beside its reference, measured in the same run).
# Usage: scripts/bench.sh [MIN_SECONDS_PER_BENCHMARK]   (default 0.5)
set -euo pipefail
cd "$(dirname "$0")/.."
min_time=${1:-0.5}
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
out=build/default/bench-results
rm -rf "$out"
mkdir -p "$out"
for program in build/default/bench/*_bench; do
  name=$(basename "$program")
  echo "== $name" >&2
  "$program" --benchmark_min_time="$min_time" --benchmark_format=console \
    --benchmark_out="$out/$name.json" --benchmark_out_format=json >&2
done

# Start-up of the command line: wall time of `morvane-cli --version`, 50 runs.
cli=build/default/src/cli/morvane-cli
times=()
for _ in $(seq 50); do
  start=$(date +%s%N)
  "$cli" --version >/dev/null
  times+=($(( ($(date +%s%N) - start) / 1000 )))
done
printf '%s\n' "${times[@]}" | sort -n > "$out/cli_startup_us.txt"

bench/measure_window.sh build/default/src/app/morvane 10 | tee "$out/window.txt" >&2
python3 bench/report.py "$out" > bench/README.md
echo "wrote bench/README.md" >&2
