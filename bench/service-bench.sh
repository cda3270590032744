#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# rode-rurd on a private bus standing in for the system bus, measured as its clients see it: the
# wall time of a whole `rurctl status --json` through the service and in-process, property reads
# alone and under ten concurrent readers (build/bench/service_bench), and the service's resident
# memory once it has served them.
# usage: bench/service-bench.sh [BUILD-DIR] [SCENARIO] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
scenario=${2:-$here/../tests/dbus/early-pull.json}
runs=${3:-20}
# shellcheck source=/dev/null
source "$(dirname "$0")/../tests/dbus/private-bus.sh"

start_private_bus "$work"
"$build/rode-rurd" --simulate="$scenario" --data-dir "$work/data" >"$work/service.log" 2>&1 &
service=$!
pids+=($service)
wait_for_service_name || true

# The mean and the slowest wall time of RUNS runs of a command, in milliseconds.
time_runs() {
  local total=0 slowest=0 start end took
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    took=$(((end - start) / 1000))
    total=$((total + took))
    [ "$took" -gt "$slowest" ] && slowest=$took
  done
  printf "mean %d.%03d ms, slowest %d.%03d ms over %d runs\n" $((total / runs / 1000)) $((total / runs % 1000)) \
    $((slowest / 1000)) $((slowest % 1000)) "$runs"
}

echo "rurctl status --json through the service: $(time_runs "$build/rurctl" status --json)"
echo "rurctl status --json in-process:          $(time_runs "$build/rurctl" --simulate="$scenario" --virtual-time \
  --data-dir "$work/direct" status --json)"
"$build/bench/service_bench" --benchmark_min_time=1
echo "rode-rurd resident memory: $(awk '/VmRSS/ {print $2, $3}' "/proc/$service/status") (peak $(awk '/VmHWM/ {print $2, $3}' "/proc/$service/status"))"
