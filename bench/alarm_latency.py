#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Alarm latency in real time: how long after a change the watch raises its alarm, with the change
placed at several phases of the 5 s cycle and in the first seconds after start. Each phase is one
`rurctl monitor --json` run on the real clock over three simulated enclosures, with member pulls,
a failure and an unplug at fixed offsets plus the phase. The latency of an alarm is the time its
JSON line was read minus the change's time, counted from the moment rurctl was started (so it
includes start-up and the monitor's one-second output slices). Prints one line per change and the
worst case; exits 1 when an alarm is missing, doubled, or later than the limit.

usage: bench/alarm_latency.py RURCTL [LIMIT_SECONDS]
"""
import json
import os
import subprocess
import sys
import tempfile
import time

PHASES = [0.0, 1.0, 2.0, 3.3, 4.7]
# (seconds after start before the phase, drive, event, member, what the alarm is: kind, device, bay)
CHANGES = [
    (0.5, 1, "member-removed", "HDD2", (1, 1, 2)),
    (5.0, 2, "member-removed", "HDD1", (1, 2, 1)),
    (9.0, 3, "unplugged", None, (2, 3, None)),
    (13.0, 1, "member-failed", "HDD1", (1, 1, 1)),
    (20.0, 2, "member-failed", "HDD2", (1, 2, 2)),
]
RUN_SECONDS = 32


def enclosure(number):
    serial = "L%d" % number
    disk = {"model": "KESTREL KD1000SX", "firmware": "KD10", "capacity": 1953525168}
    return {"number": number, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "mirroring",
            "members": [dict(disk, serial=serial + "A"), dict(disk, serial=serial + "B")],
            "volumes": ["sd%s1" % "abcd"[number]]}


def run_phase(rurctl, phase, work):
    timeline = []
    for at, drive, event, member, _ in CHANGES:
        entry = {"at": round(at + phase, 3), "drive": drive, "event": event}
        if member:
            entry["member"] = member
        timeline.append(entry)
    scenario = {"name": "latency", "drives": [{"number": 0, "type": "disk", "volumes": ["sda1"]}] +
                [enclosure(n) for n in (1, 2, 3)], "timeline": timeline}
    path = os.path.join(work, "latency-%s.json" % phase)
    with open(path, "w") as out:
        json.dump(scenario, out)
    data = os.path.join(work, "data-%s" % phase)
    started = time.monotonic()
    monitor = subprocess.Popen([rurctl, "--simulate=" + path, "--data-dir", data, "monitor", "--json", "--for",
                                str(RUN_SECONDS)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    alarms = []
    for line in monitor.stdout:
        if not line.startswith("{"):
            continue
        event = json.loads(line)
        if event.get("event") == "alarm":
            alarms.append((time.monotonic() - started, event.get("alarm_kind"), event.get("device"), event.get("bay")))
    monitor.wait()
    return alarms


def main():
    rurctl = sys.argv[1]
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 6.0
    worst, failures = 0.0, 0
    with tempfile.TemporaryDirectory() as work:
        for phase in PHASES:
            alarms = run_phase(rurctl, phase, work)
            for at, drive, event, member, (kind, device, bay) in CHANGES:
                change = at + phase
                seen = [a for a in alarms if a[1] == kind and a[2] == device and a[3] == bay]
                if len(seen) != 1:
                    print("phase %.1f s: %s of drive %d at %.1f s: %d alarms" % (phase, event, drive, change, len(seen)))
                    failures += 1
                    continue
                latency = seen[0][0] - change
                worst = max(worst, latency)
                late = latency > limit
                failures += late
                print("phase %.1f s: %-14s drive %d %-4s at %5.1f s: alarm after %.2f s%s"
                      % (phase, event, drive, member or "", change, latency, "  LATE" if late else ""))
    print("worst alarm latency %.2f s (limit %.1f s), %d problems" % (worst, limit, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
