#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# rode-rurd on a private bus standing in for the system bus, measured as its clients see it, with
# ENCLOSURES simulated enclosures: the wall time of a whole `rurctl status --json` through the
# service and in-process, then GetAll of one reader and of fifty at once (build/bench/service_bench)
# while three clients loop on GetSmart and a 1 MiB flash backup runs (where python3-dbusmock plays
# polkit), and the service's resident memory once it has served them.
# usage: bench/service-bench.sh [BUILD-DIR] [ENCLOSURES] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
enclosures=${2:-20}
runs=${3:-20}
# shellcheck source=/dev/null
source "$(dirname "$0")/../tests/dbus/private-bus.sh"

# The demo's mirror, ENCLOSURES times, on drives 1 and up.
scenario=$work/many.json
python3 - "$enclosures" >"$scenario" <<'PY'
import json, sys
count = int(sys.argv[1])
member = lambda serial: {"state": "present", "model": "KESTREL KD1000SX", "serial": serial, "firmware": "KD10",
                         "capacity": 1953525168}
drives = [{"number": n, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "productCode": "0x2760",
           "mode": "mirroring", "fan": 2650, "temperature": 37, "firmware": {"version": "0x14031510", "type": 1},
           "members": [member("KD1A%04dA" % n), member("KD1A%04dB" % n)]} for n in range(1, count + 1)]
print(json.dumps({"name": "many", "description": "many mirrors", "start": "2026-03-14 09:00:00", "drives": drives,
                  "timeline": []}))
PY

start_private_bus "$work"
name=org.roderur.RodeRur1
"$build/rode-rurd" --simulate="$scenario" --data-dir "$work/data" >"$work/service.log" 2>&1 &
service=$!
pids+=($service)
for _ in $(seq 600); do service_has_name && break; sleep 0.1; done

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

echo "$enclosures simulated enclosures"
echo "rurctl status --json through the service: $(time_runs "$build/rurctl" status --json)"
echo "rurctl status --json in-process:          $(time_runs "$build/rurctl" --simulate="$scenario" --virtual-time \
  --data-dir "$work/direct" status --json)"

# The load beside the readers: three SMART readers and a backup of 1 MiB.
first=$(gdbus call --system --dest "$name" --object-path /org/roderur/RodeRur1 \
  --method org.roderur.RodeRur1.Manager.GetEnclosures | grep -o "'/[^']*'" | head -1 | tr -d "'")
for _ in 1 2 3; do
  (while true; do
    gdbus call --system --dest "$name" --object-path "$first" --method org.roderur.RodeRur1.Enclosure.GetSmart 1 \
      >/dev/null 2>&1 || true
  done) &
  pids+=($!)
done
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if "$python" -c "import dbusmock" 2>/dev/null; then
  "$python" -m dbusmock --system --template polkitd >"$work/polkit.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    gdbus call --system --dest org.freedesktop.PolicyKit1 --object-path /org/freedesktop/PolicyKit1/Authority \
      --method org.freedesktop.DBus.Mock.SetAllowed "['org.roderur.RodeRur1.backup-firmware']" >/dev/null 2>&1 && break
    sleep 0.1
  done
  backup_start=$(date +%s%N)
  ("$build/rurctl" firmware-backup "$work/flash.bin" --length 1048576 --device "$enclosures" >"$work/backup.out" 2>&1
   echo "1 MiB backup through the service: $((($(date +%s%N) - backup_start) / 1000000)) ms" >>"$work/backup.out") &
  pids+=($!)
else
  echo "python3-dbusmock is not installed: no backup runs beside the readers"
fi
"$build/bench/service_bench" --benchmark_min_time=2
echo "rurctl status --json through the service, under that load: $(time_runs "$build/rurctl" status --json)"
echo "rode-rurd resident memory: $(awk '/VmRSS/ {print $2, $3}' "/proc/$service/status") (peak $(awk '/VmHWM/ {print $2, $3}' "/proc/$service/status"))"
cat "$work/backup.out" 2>/dev/null || true
