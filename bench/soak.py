#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A long watch on virtual time: two mirrored enclosures and a seeded stream of changes (member
pulls and returns, failures, short and long unplugs, some at once on both enclosures), run through
`rurctl monitor --json`. Prints how many removals, failures and unplugs happened against the alarms
raised, the duplicates among them, and the monitor's peak resident memory.

usage: bench/soak.py RURCTL [DAYS] [SEED]
"""
import json
import os
import random
import resource
import subprocess
import sys
import tempfile


def enclosure(number, serial):
    return {
        "number": number, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "mirroring",
        "members": [
            {"model": "KESTREL KD1000SX", "serial": serial + "1", "firmware": "KD10", "capacity": 1953525168},
            {"model": "KESTREL KD1000SX", "serial": serial + "2", "firmware": "KD10", "capacity": 1953525168},
        ],
        "volumes": ["sd%s1" % "abc"[number]],
    }


# A disk put back is copied onto from its partner in about ten minutes.
REBUILD_SPEED = 1953525168 // 600


def returned(events, at, drive, member):
    events.append({"at": at, "drive": drive, "event": "member-inserted", "member": member})
    events.append({"at": at + 1, "drive": drive, "event": "rebuild-started", "member": member, "speed": REBUILD_SPEED})


def timeline(days, rng):
    """Events and the alarms they must raise: one per member lost from the array, one per unplug."""
    events, alarms = [], 0
    at = 60
    end = days * 86400 - 600
    while at < end:
        drive = rng.choice([1, 2])
        member = rng.choice([1, 2])
        kind = rng.random()
        if kind < 0.4:  # a pull, and the disk back after a while (sometimes within one cycle)
            events.append({"at": at, "drive": drive, "event": "member-removed", "member": member})
            back = at + rng.choice([0.8, 3, 30, 400])
            returned(events, back, drive, member)
            alarms += 1
            at = back
        elif kind < 0.55:  # a member failing in its bay, replaced later
            events.append({"at": at, "drive": drive, "event": "member-failed", "member": member})
            back = at + rng.choice([20, 600])
            returned(events, back, drive, member)
            alarms += 1
            at = back
        elif kind < 0.85:  # an unplug, short or long
            events.append({"at": at, "drive": drive, "event": "unplugged"})
            back = at + rng.choice([1.5, 4, 20, 120])
            events.append({"at": back, "drive": drive, "event": "plugged"})
            alarms += 1
            at = back
        else:  # both enclosures at once: a pull on one while the other is unplugged
            other = 3 - drive
            events.append({"at": at, "drive": other, "event": "unplugged"})
            events.append({"at": at + 0.5, "drive": drive, "event": "member-removed", "member": member})
            events.append({"at": at + 8, "drive": other, "event": "plugged"})
            returned(events, at + 30, drive, member)
            alarms += 2
            at += 30
        # Rebuilds of a returned disk take a while; the next change comes after it.
        at += rng.randint(900, 5400)
    return events, alarms


def main():
    rurctl = sys.argv[1]
    days = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rng = random.Random(seed)
    events, expected = timeline(days, rng)
    with tempfile.TemporaryDirectory() as work:
        scenario = {"name": "soak", "description": "seeded changes on two enclosures",
                    "start": "2026-03-14 09:00:00",
                    "drives": [{"number": 0, "type": "disk", "volumes": ["sda1"]},
                               enclosure(1, "KA"), enclosure(2, "KB")],
                    "timeline": events}
        path = os.path.join(work, "soak.json")
        with open(path, "w") as out:
            json.dump(scenario, out)
        run = subprocess.run([rurctl, "--simulate=" + path, "--virtual-time", "--data-dir", os.path.join(work, "data"),
                              "monitor", "--json", "--for", str(days * 86400)],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=False)
    lines = [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]
    alarms = [line for line in lines if line["event"] == "alarm" and line.get("alarm_kind") in (1, 2)]
    keys = [(line["time"], line.get("device"), line.get("bay")) for line in alarms]
    peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    print("days %d, seed %d: %d changes that raise an alarm, %d removal and unplug alarms, %d duplicates, "
          "monitor exit %d, peak %.1f MB" % (days, seed, expected, len(alarms), len(keys) - len(set(keys)),
                                             run.returncode, peak_kib / 1024))
    return 0 if len(alarms) == expected and len(keys) == len(set(keys)) else 1


if __name__ == "__main__":
    sys.exit(main())
