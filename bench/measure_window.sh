#!/usr/bin/env bash
# Start-up time and idle memory of the window program.
#
#   bench/measure_window.sh [PROGRAM] [RUNS]
#
# PROGRAM defaults to build/default/src/app/morvane, RUNS to 10. Each run starts
# the program on a private Xvfb display with the update check pointed at a
# closed loopback port (so no network is waited for) and measures the time
# from launching the process until the X server reports its window viewable.
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

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do xwininfo -display "$display" -root >/dev/null 2>&1 && break; sleep 0.05; done

now_ms() { echo $(( ${EPOCHREALTIME/./} / 1000 )); }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

viewable() {
  xwininfo -display "$display" -name "$title" 2>/dev/null | grep -q "Map State: IsViewable"
}

times=()
for run in $(seq "$runs"); do
  start=$(now_ms)
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$program" "${args[@]}" >/dev/null 2>&1 &
  pid=$!
  pids+=("$pid")
  until viewable; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
  done
  times+=($(( $(now_ms) - start )))
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

sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to window viewable (Xvfb, $runs runs): min ${sorted[0]} ms," \
  "median ${sorted[$((runs / 2))]} ms, max ${sorted[-1]} ms"
echo "resident memory when idle: Xvfb $((xcb_rss / 1024)) MB, offscreen $((offscreen_rss / 1024)) MB"
