#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# rode-rurd on a private bus with enclosures whose texts are at their worst: a by-id name with an
# escape sequence, markup, a line break and a byte that is no UTF-8, serials of markup and of
# unreadable bytes. The service serves both enclosures with every property readable, and rurctl as
# its client shows both, in JSON that parses, and follows the disk swapped 20 s after the start.
# usage: hostile-texts-test.sh RODE-RURD RURCTL SCENARIO
set -euo pipefail
service=$1
rurctl=$2
scenario=$3
# shellcheck source=/dev/null
source "$(dirname "$0")/private-bus.sh"
require_tools dbus-daemon gdbus python3
shown_logs=(service.log)

start_private_bus "$work"
"$service" --simulate="$scenario" --data-dir "$work/data" >"$work/service.log" 2>&1 &
pids+=($!)
wait_for_service_name || fail "the service did not take its name"
call() { gdbus call --system --dest org.roderur.RodeRur1 "$@"; }

listed=$(call --object-path /org/roderur/RodeRur1 --method org.roderur.RodeRur1.Manager.GetEnclosures)
# Each enclosure's path is named after its identity, in the order of the drives.
mapfile -t paths < <(grep -o "/org/roderur/RodeRur1/enclosure/[A-Za-z0-9_]*" <<<"$listed")
[ ${#paths[@]} = 2 ] || fail "GetEnclosures does not list both enclosures: $listed"
for path in "${paths[@]}"; do
  all=$(call --object-path "$path" --method org.freedesktop.DBus.Properties.GetAll \
    org.roderur.RodeRur1.Enclosure 2>&1) || fail "GetAll of $path: $all"
  [[ $all == *"'ById': <'usb-RODE_"* ]] || fail "$path has no by-id name: $all"
done
[[ $all == *"'Product': <'</span><i>HIDE'>"* ]] || fail "the second enclosure's product is not as reported: $all"

# rurctl as the service's client: both enclosures, in JSON that parses.
json_check='import json, sys; devices = json.load(sys.stdin); assert len(devices) == 2, devices'
status=$("$rurctl" status --json || true)
python3 -c "$json_check" <<<"$status" || fail "rurctl status --json through the service: $status"
text=$("$rurctl" status || true)
[[ $text == *"Device2 (drive 2): </span><i>HIDE"* ]] || fail "rurctl status through the service: $text"
[[ $text != *$'\e'* ]] || fail "rurctl status printed an escape sequence"

# The swap on the timeline comes as an Event whose text parses as JSON and names both serials.
"$rurctl" monitor --json --for 25 >"$work/events.json" 2>"$work/monitor.err" || true
shown_logs+=(events.json monitor.err)
python3 - "$work/events.json" <<'CHECK' || fail "the events of rurctl monitor --json through the service"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
swaps = [e for e in events if e["event"] == "disk-replaced"]
assert swaps and '"<b>OLD</b>" -> "<b>NEW</b>"' in swaps[0]["text"], events
CHECK
echo "PASS: the service served both enclosures, their texts as reported"
