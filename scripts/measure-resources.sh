#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Resource figures on the real clock (they take real time: SECONDS each, default 600):
#   - CPU and peak memory of `rurctl --simulate monitor` watching the demo enclosure;
#   - the same for the window, `rode-rur --simulate` on the offscreen platform, when it is built;
#   - the longest gap of the window's event loop during a firmware upgrade whose every request to
#     the simulated enclosure costs RUR_REQUEST_COST_US microseconds (default 1000).
# Usage: scripts/measure-resources.sh [SECONDS] [BUILD_DIR]   (BUILD_DIR defaults to build/)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${2:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# CPU seconds (user + system) and peak resident memory of a process, read just before it ends.
watch_process() {
  local pid=$1 name=$2 started=$3
  local ticks_per_second cpu=0 peak=0 rss=0
  ticks_per_second=$(getconf CLK_TCK)
  while kill -0 "$pid" 2>/dev/null; do
    if [ -r "/proc/$pid/stat" ]; then
      # Fields 14 and 15 are utime and stime; the command name in field 2 has no blanks here.
      cpu=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo "$cpu")
      peak=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo "$peak")
      rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo "$rss")
    fi
    sleep 1
  done
  local elapsed=$(( $(date +%s) - started ))
  awk -v n="$name" -v c="$cpu" -v t="$ticks_per_second" -v e="$elapsed" -v p="$peak" -v r="$rss" 'BEGIN {
    printf "%s: %.2f s of CPU in %d s = %.3f%% of a core; peak resident %.1f MB, last %.1f MB\n",
           n, c / t, e, 100 * c / t / e, p / 1024, r / 1024 }'
}

echo "== rurctl monitor, ${seconds} s of the demo on the real clock"
start=$(date +%s)
"$build/rurctl" --simulate --data-dir "$work/monitor" monitor --for "$seconds" >"$work/monitor.out" 2>&1 &
watch_process $! "rurctl monitor" "$start"
echo "   $(wc -l <"$work/monitor.out") lines printed"

if [ -x "$build/rode-rur" ]; then
  echo "== rode-rur, ${seconds} s of the demo on the real clock (offscreen)"
  mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
  start=$(date +%s)
  XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    "$build/rode-rur" --simulate --data-dir "$work/window" >"$work/window.out" 2>&1 &
  pid=$!
  ( sleep "$seconds"; kill -TERM "$pid" 2>/dev/null ) &
  watch_process "$pid" "rode-rur" "$start"
else
  echo "== rode-rur is not built in $build; no window figures"
fi

echo "== event-loop gap during a firmware upgrade"
"$build/rur_tests" --gtest_also_run_disabled_tests --gtest_filter='Responsiveness.*' | grep -E "upgrade of|OK|FAILED"
