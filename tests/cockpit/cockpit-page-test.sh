#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Cockpit page in a real browser: Cockpit's web server serves the build's page from a local
# session, its bridge talks to rode-rurd on a private bus standing in for the system bus, and
# headless Chromium driven by selenium watches the page (tests/cockpit/page_check.py says what).
# usage: cockpit-page-test.sh RODE-RURD RURCTL PAGE-SHARE-DIR SCENARIO [SCREENSHOT-DIR]
set -euo pipefail
service=$(realpath "$1")
rurctl=$(realpath "$2")
share=$(realpath "$3")
scenario=$4
screenshots=${5:-}
cockpit_ws=/usr/lib/cockpit/cockpit-ws
# Debian's selenium lives beside the system's Python, which another python3 on PATH may hide.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
# shellcheck source=/dev/null
source "$(dirname "$0")/../dbus/private-bus.sh"
require_tools dbus-daemon "$cockpit_ws" cockpit-bridge chromium chromedriver
"$python" -c "import selenium" 2>/dev/null || { echo "SKIP: python3-selenium is not installed"; exit 77; }
shown_logs=(cockpit.log)

start_private_bus "$work"

# polkit played by python3-dbusmock, allowing the backup and the mail; without it both are left out.
backup_bytes=0
mail_changes=0
if "$python" -c "import dbusmock" 2>/dev/null; then
  "$python" -m dbusmock --system --template polkitd >"$work/polkit.log" 2>&1 &
  pids+=($!)
  polkit() { gdbus call --system --dest org.freedesktop.PolicyKit1 --object-path /org/freedesktop/PolicyKit1/Authority "$@"; }
  for _ in $(seq 100); do polkit --method org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break; sleep 0.1; done
  polkit --method org.freedesktop.DBus.Mock.SetAllowed \
    "['org.roderur.RodeRur1.backup-firmware', 'org.roderur.RodeRur1.manage-mail']" >/dev/null
  backup_bytes=65536
  mail_changes=1
else
  echo "python3-dbusmock is not installed: the firmware backup is not tested"
fi

# Mail settings stored before the service starts, for the page to show.
for setting in "SMTP smtp.example.org" "Addr rode-rur@example.org"; do
  "$rurctl" --simulate="$scenario" --virtual-time --data-dir "$work/data" mail-set $setting >/dev/null
done
"$rurctl" --simulate="$scenario" --virtual-time --data-dir "$work/data" mail-recipients add admin@example.org >/dev/null

# The bridge finds the page under XDG_DATA_HOME/cockpit and runs the tree's rurctl for backups.
export XDG_DATA_HOME=$share
PATH="$(dirname "$rurctl"):$PATH"
export PATH
# A free port: the kernel picks one for a moment, and cockpit-ws takes it.
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$cockpit_ws" --no-tls -a 127.0.0.1 -p "$port" --local-session=cockpit-bridge >"$work/cockpit.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  "$python" -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done

"$python" "$(dirname "$0")/page_check.py" --url "http://127.0.0.1:$port/cockpit/@localhost/rode-rur/index.html" \
  --service "$service" --scenario "$scenario" --data-dir "$work/data" --log "$work/service.log" \
  --downloads "$work/downloads" --backup-bytes "$backup_bytes" --mail-changes "$mail_changes" \
  --hostile-scenario "$(dirname "$0")/../data/scenarios/hostile-texts.json" \
  ${screenshots:+--screenshots "$screenshots"} || fail "the page check failed (service output: $(cat "$work/service.log" 2>/dev/null))"
echo "PASS: the page follows the service live"
