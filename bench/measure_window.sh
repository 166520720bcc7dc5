#!/usr/bin/env bash
# Start-up time and idle memory of the window program.
#
#   bench/measure_window.sh [PROGRAM] [RUNS]
#
# PROGRAM defaults to build/default/src/app/morvane, RUNS to 10. Each run starts
# the program on a private Xvfb display with the update check pointed at a
# closed loopback port (so no network is waited for) and measures the time
# from launching the process until the X server reports its window viewable,
# and the CPU time all its threads had used by then (less sensitive to a busy
# machine than the wall-clock figure).
# Memory is the resident set size (VmRSS) after the window has sat idle for one
# second, measured once on Xvfb and once on the offscreen platform.
# Needs Xvfb and xwininfo (x11-utils).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/default/src/app/morvane}
runs=${2:-10}
title="Morvane云解析工具Ver1.0"
args=(--update-url http://127.0.0.1:9/notice.html)

[[ -x $program ]] || { echo "no program at $program (build the morvane target first)" >&2; exit 1; }
command -v Xvfb >/dev/null && command -v xwininfo >/dev/null ||
  { echo "needs Xvfb and xwininfo" >&2; exit 1; }

# Xvfb picks a free display itself and writes its number to the pipe.
exec 3< <(Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp -noreset 4>&1 >/dev/null 2>&1 & echo "pid $!")
read -r _ xvfb <&3
read -r number <&3 || { echo "Xvfb did not start" >&2; exit 1; }
display=:$number
log=$(mktemp)
pids=()
cleanup() {
  rm -f "$log"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

now_ms() { echo $(( ${EPOCHREALTIME/./} / 1000 )); }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ms() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {print int(sum / 1e6)}'; }

viewable() {
  xwininfo -display "$display" -name "$title" 2>/dev/null | grep -q "Map State: IsViewable"
}

times=()
cpus=()
for run in $(seq "$runs"); do
  start=$(now_ms)
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$program" "${args[@]}" >/dev/null 2>"$log" &
  pid=$!
  pids+=("$pid")
  until viewable; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended early:" >&2; cat "$log" >&2; exit 1; }
    sleep 0.002
  done
  times+=($(( $(now_ms) - start )))
  cpus+=($(cpu_ms "$pid"))
  if [[ $run == 1 ]]; then
    sleep 1
    xcb_rss=$(rss_kb "$pid")
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done

QT_QPA_PLATFORM=offscreen "$program" "${args[@]}" >/dev/null 2>&1 &
pid=$!
pids+=("$pid")
sleep 1.5
offscreen_rss=$(rss_kb "$pid")
kill "$pid"
wait "$pid" 2>/dev/null || true

summary() {
  local sorted=($(printf '%s\n' "$@" | sort -n))
  echo "min ${sorted[0]} ms, median ${sorted[$(($# / 2))]} ms, max ${sorted[-1]} ms"
}
echo "start to window viewable (Xvfb, $runs runs): $(summary "${times[@]}")"
echo "CPU time used by then:                  $(summary "${cpus[@]}")"
echo "resident memory when idle: Xvfb $((xcb_rss / 1024)) MB, offscreen $((offscreen_rss / 1024)) MB"
