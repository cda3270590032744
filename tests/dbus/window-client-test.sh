#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window as a client of rode-rurd on a private bus standing in for the system bus: started
# without --simulate on a host whose only enclosure is the service's simulated mirror, it shows
# that enclosure, sees the member the scenario pulls 10 s after the service's start (its event
# programs hear of it), and keeps no day log of its own: the service keeps the host's.
# usage: window-client-test.sh RODE-RURD RODE-RUR SCENARIO
set -euo pipefail
service=$1
window=$2
scenario=$3
# shellcheck source=/dev/null
source "$(dirname "$0")/private-bus.sh"
require_tools dbus-daemon gdbus
shown_logs=(service.log window.log events.txt)

start_private_bus "$work"
"$service" --simulate="$scenario" --data-dir "$work/service-data" >"$work/service.log" 2>&1 &
pids+=($!)
wait_for_service_name || fail "the service did not take its name"

cat >"$work/record.sh" <<RECORD
#!/bin/sh
echo "\$RUR_EVENT|\$RUR_DEVICE|\$RUR_BAY" >>"$work/events.txt"
RECORD
chmod +x "$work/record.sh"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
  XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=offscreen "$window" --exec "$work/record.sh" >"$work/window.log" 2>&1 &
pids+=($!)

for _ in $(seq 300); do
  grep -q '^member-removed|1|2$' "$work/events.txt" 2>/dev/null && break
  sleep 0.1
done
grep -q '^member-removed|1|2$' "$work/events.txt" 2>/dev/null ||
  fail "the window did not see HDD2 of the service's Device1 pulled"
[ "$(grep -c '^member-removed' "$work/events.txt")" = 1 ] || fail "the pull was told more than once"
logs=$(find "$work" -path "$work/service-data" -prune -o -name '[0-9][0-9][0-9][0-9][0-9][0-9].log' -print)
[ -z "$logs" ] || fail "the window kept a day log of its own: $logs"
grep -q 'HDD2 was removed' "$work/service-data"/*.log || fail "the service's day log lacks the pull"
echo "PASS: the window showed the service's enclosure and its pull"
