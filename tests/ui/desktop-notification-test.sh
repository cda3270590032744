#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program on a virtual X server with a session bus and a notification service: the
# demo's pulled HDD2 reaches the service as a critical notice naming Device1 and HDD2.
# Usage: desktop-notification-test.sh RODE_RUR_BINARY
set -uo pipefail
program=$1
for tool in Xvfb dbus-run-session dbus-monitor dunst; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
if [ -z "${RUR_IN_SESSION:-}" ]; then
  RUR_IN_SESSION=1 exec dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number, chosen by the server itself.
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM

dunst >"$work/dunst.log" 2>&1 &
pids+=($!)
dbus-monitor "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" >"$work/calls.log" 2>&1 &
pids+=($!)
"$program" --simulate --data-dir "$work/data" >"$work/program.log" 2>&1 &
pids+=($!)

# HDD2 is pulled 30 s into the demo; detection and the next refresh follow within seconds.
for _ in $(seq 90); do
  grep -q "Device1 HDD2 was removed" "$work/calls.log" && break
  sleep 1
done
if ! grep -q "Device1 HDD2 was removed" "$work/calls.log"; then
  echo "FAIL: no notice of the pulled disk"; cat "$work/calls.log" "$work/program.log"; exit 1
fi
# The call's hints carry urgency 2 (critical) for the alarm.
if ! grep -A3 '"urgency"' "$work/calls.log" | grep -q "byte 2"; then
  echo "FAIL: the notice is not critical"; cat "$work/calls.log"; exit 1
fi
grep -A1 'string "Device1 HDD2 was removed"' "$work/calls.log"
echo "PASS"
