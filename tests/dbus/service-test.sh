#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# rode-rurd on a private bus standing in for the system bus: it owns its name once the first
# detection is over, lists the simulated mirror, reads its mode, and a member pulled on the
# scenario's timeline gives an Event signal and then PropertiesChanged on the enclosure's object.
# rurctl status and smart ask the service and print what an in-process run prints; firmware-backup,
# firmware --yes and mail-set through the service are refused without polkit's consent (played by
# python3-dbusmock), and the backup and the mail setting work with it.
# The enclosure's object is named after its identity and listed by the root's ObjectManager; a
# second rode-rurd leaves without writing anything; descriptors that are not open for reading (an
# image) or writing (a backup) are refused at the call. The pull's alarm mail finds
# the mail server's port closed and waits in the outbox; a mail setting changed through the
# service tries it at once, and the right port written to the settings file and SIGHUP deliver it
# to a local SMTP server (tests/notify/smtp_sink.py) within 5 s.
# Runs on the real clock: the scenario pulls HDD2 10 s after the start.
# usage: service-test.sh RODE-RURD RURCTL SCENARIO
set -euo pipefail
service=$1
rurctl=$2
scenario=$3
# shellcheck source=/dev/null
source "$(dirname "$0")/private-bus.sh"
require_tools dbus-daemon gdbus
shown_logs=(service.log signals.log)

start_private_bus "$work"

name=org.roderur.RodeRur1
call() { gdbus call --system --dest "$name" "$@"; }

# A port on the loopback where nothing listens.
closed_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
mkdir -p "$work/data"
cat >"$work/data/KV_RODE_RUR.reg" <<REG
[SOFTWARE\\KV_RODE_RUR]
"Port"="$(closed_port)"
"SMTP"="127.0.0.1"
"Addr"="rur@example.com"
"TimeOut"="2"
"ToAddrCount"=dword:00000001
"ToAddr_00"="ops@example.com"
REG
chmod 600 "$work/data/KV_RODE_RUR.reg"
"$service" --simulate="$scenario" --data-dir "$work/data" >"$work/service.log" 2>&1 &
service_pid=$!
pids+=($service_pid)
gdbus monitor --system --dest "$name" >"$work/signals.log" 2>&1 &
pids+=($!)
wait_for_service_name || fail "the service did not take $name"

listed=$(call --object-path /org/roderur/RodeRur1 --method org.roderur.RodeRur1.Manager.GetEnclosures)
enclosure=$(grep -o "'/[^']*'" <<<"$listed" | head -1 | tr -d "'")
[[ $enclosure == /org/roderur/RodeRur1/enclosure/usb_* ]] || fail "the enclosure's path is not its identity: $listed"
managed=$(call --object-path /org/roderur/RodeRur1 --method org.freedesktop.DBus.ObjectManager.GetManagedObjects)
[[ $managed == *"'$enclosure': {"*"'org.roderur.RodeRur1.Enclosure': {"* ]] || fail "GetManagedObjects: $managed"

# A second service on the same bus leaves at once, before it detects or writes anything.
set +e
"$service" --simulate="$scenario" --data-dir "$work/second" >"$work/second.log" 2>&1
second_status=$?
set -e
[ "$second_status" -eq 1 ] || fail "a second rode-rurd exits $second_status: $(cat "$work/second.log")"
[ ! -e "$work/second" ] || fail "a second rode-rurd wrote into its data folder: $(ls -R "$work/second")"
property() { call --object-path "$enclosure" --method org.freedesktop.DBus.Properties.Get org.roderur.RodeRur1.Enclosure "$1"; }
[ "$(property Mode)" = "(<'Mirroring(RAID1)'>,)" ] || fail "Mode reads $(property Mode)"
members=$(property Members)
[[ $members == *"'model': <'KESTREL KD1000SX'>"* ]] || fail "Members lacks the disks' model: $members"
# A member's SMART page is open to every local user, as a window that is the service's client reads
# it; an ATA command that is not a page read is refused.
page=$(call --object-path "$enclosure" --method org.roderur.RodeRur1.Enclosure.ReadMemberPage 208 0)
[[ $page == "(byte 0x00, [byte 0x"* ]] || fail "ReadMemberPage of HDD1's SMART data: $page"
refusal=$(call --object-path "$enclosure" --method org.roderur.RodeRur1.Enclosure.ReadMemberPage 239 0 2>&1 || true)
[[ $refusal == *org.roderur.RodeRur1.Error.InvalidArgument* ]] || fail "ReadMemberPage sends SET FEATURES: $refusal"
refusal=$(call --object-path /org/roderur/RodeRur1 --method org.roderur.RodeRur1.Manager.GetLog 14-03-2026 2>&1 || true)
[[ $refusal == *org.roderur.RodeRur1.Error.InvalidArgument* ]] || fail "GetLog takes a day of the wrong form: $refusal"

# Before the pull: what the service reports is what an in-process run reports, text and JSON alike.
for command in "status" "status --json" "smart --bay 2" "smart --json"; do
  set +e
  through=$("$rurctl" $command)
  through_status=$?
  direct=$("$rurctl" --simulate="$scenario" --virtual-time --data-dir "$work/direct" $command)
  direct_status=$?
  set -e
  [ "$through" = "$direct" ] || fail "rurctl $command differs through the service:
$(diff <(echo "$direct") <(echo "$through"))"
  [ "$through_status" = "$direct_status" ] || fail "rurctl $command exits $through_status through the service"
done

# The backup: refused until polkit allows it, and then the file holds the flash's bytes.
# Debian's python3-dbusmock lives beside the system's Python, which another python3 on PATH may hide.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if "$python" -c "import dbusmock" 2>/dev/null; then
  "$python" -m dbusmock --system --template polkitd >"$work/polkit.log" 2>&1 &
  pids+=($!)
  polkit() { gdbus call --system --dest org.freedesktop.PolicyKit1 --object-path /org/freedesktop/PolicyKit1/Authority "$@"; }
  have_polkit=1
  for _ in $(seq 100); do polkit --method org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break; sleep 0.1; done
  backup=$work/flash.bin
  head -c 8192 /dev/zero >"$work/image.bin"
  for command in "firmware-backup $backup --length 65536" "firmware $work/image.bin --yes" \
    "mail-set SMTP localhost"; do
    set +e
    refusal=$("$rurctl" $command 2>&1)
    refused=$?
    set -e
    [ "$refused" -eq 1 ] || fail "rurctl $command without consent exits $refused: $refusal"
    [[ $refusal == *"not authorized"* ]] || fail "rurctl $command without consent says: $refusal"
  done
  [ ! -e "$backup" ] && [ ! -e "$backup.part" ] || fail "a refused backup left a file"
  grep -q localhost "$work/data/KV_RODE_RUR.reg" 2>/dev/null && fail "a refused mail setting was stored"
  polkit --method org.freedesktop.DBus.Mock.SetAllowed "['org.roderur.RodeRur1.manage-mail']" >/dev/null
  "$rurctl" mail-set SMTP localhost >"$work/mail.out" 2>&1 || fail "the allowed mail setting: $(cat "$work/mail.out")"
  settings=$(call --object-path /org/roderur/RodeRur1 --method org.roderur.RodeRur1.Manager.GetMailSettings)
  [[ $settings == *"'SMTP': <'localhost'>"* ]] || fail "the service does not show the new setting: $settings"
  polkit --method org.freedesktop.DBus.Mock.SetAllowed "['org.roderur.RodeRur1.backup-firmware']" >/dev/null
  "$rurctl" firmware-backup "$backup" --length 65536 >"$work/backup.out" 2>&1 || fail "the allowed backup: $(cat "$work/backup.out")"
  [ "$(stat -c %s "$backup")" -eq 65536 ] || fail "the backup holds $(stat -c %s "$backup") bytes"
  "$rurctl" --simulate="$scenario" --virtual-time --data-dir "$work/direct" firmware-backup "$work/direct.bin" \
    --length 65536 >/dev/null
  cmp -s "$backup" "$work/direct.bin" || fail "the backup through the service differs from the in-process one"
  # Descriptors are used as they are: an image open for writing only, or one that only names its
  # file, is refused at the call, and a backup is not written to a descriptor open for reading.
  polkit --method org.freedesktop.DBus.Mock.SetAllowed \
    "['org.roderur.RodeRur1.backup-firmware', 'org.roderur.RodeRur1.upgrade-firmware']" >/dev/null
  refusals=$("$python" - "$enclosure" "$work/image.bin" <<'PY'
import os, sys, dbus
enclosure = dbus.Interface(dbus.SystemBus().get_object("org.roderur.RodeRur1", sys.argv[1]),
                           "org.roderur.RodeRur1.Enclosure")
for label, flags in (("write-only", os.O_WRONLY), ("path-only", os.O_PATH)):
    fd = os.open(sys.argv[2], flags)
    try:
        enclosure.UpgradeFirmware(dbus.types.UnixFd(fd), dbus.Dictionary({}, signature="sv"))
        print(label, "accepted")
    except dbus.exceptions.DBusException as refusal:
        print(label, refusal.get_dbus_name(), refusal.get_dbus_message())
fd = os.open(sys.argv[2], os.O_RDONLY)
try:
    enclosure.BackupFirmware(dbus.types.UnixFd(fd), dbus.UInt32(4096))
    print("read-only backup accepted")
except dbus.exceptions.DBusException as refusal:
    print("read-only backup", refusal.get_dbus_name())
# A backup into a pipe nobody reads, cancelled by its owner: the job ends at once and the service
# goes on answering.
import time
reader, writer = os.pipe()
job_path = enclosure.BackupFirmware(dbus.types.UnixFd(writer), dbus.UInt32(65536))
job = dbus.SystemBus().get_object("org.roderur.RodeRur1", job_path)
job.Cancel(dbus_interface="org.roderur.RodeRur1.Job")
properties = dbus.Interface(job, "org.freedesktop.DBus.Properties")
print("cancelled", properties.Get("org.roderur.RodeRur1.Job", "Step"),
      properties.Get("org.roderur.RodeRur1.Job", "Message"), properties.Get("org.roderur.RodeRur1.Job", "Owner") != "")
PY
  )
  [ "$(grep -c "Error.InvalidArgument" <<<"$refusals")" -eq 3 ] || fail "descriptors not refused: $refusals"
  [[ $refusals == *"cancelled failed cancelled by its owner True"* ]] || fail "the backup was not cancelled: $refusals"
else
  echo "python3-dbusmock is not installed: the backup's authorization is not tested"
fi

# The pull: first the event, then the enclosure's changed properties.
for _ in $(seq 300); do
  grep -q "PropertiesChanged.*'Members'" "$work/signals.log" && break
  sleep 0.1
done
event_line=$(grep -n "Event.*'member-removed'" "$work/signals.log" | head -1 | cut -d: -f1)
change_line=$(grep -n "$enclosure: org.freedesktop.DBus.Properties.PropertiesChanged.*'Members'" "$work/signals.log" \
  | head -1 | cut -d: -f1)
[ -n "$event_line" ] || fail "no Event signal for the pulled member"
[ -n "$change_line" ] || fail "no PropertiesChanged of the enclosure's members"
[ "$event_line" -lt "$change_line" ] || fail "PropertiesChanged came before the Event"

# The pull's alarm mail: the server's port is closed, so it waits in the outbox for its next turn,
# a minute later. A changed setting does not wait for that.
attempts() { sed -n 's/^Attempts: \([0-9]*\).*/\1/p' "$work"/data/outbox/*.mail 2>/dev/null | head -1; }
for _ in $(seq 100); do [ "$(attempts)" = 1 ] && break; sleep 0.1; done
[ "$(attempts)" = 1 ] || fail "the alarm mail did not fail once and wait in the outbox: $(ls "$work/data/outbox" 2>&1)"
if [ -n "${have_polkit:-}" ]; then
  polkit --method org.freedesktop.DBus.Mock.SetAllowed "['org.roderur.RodeRur1.manage-mail']" >/dev/null
  "$rurctl" mail-set Port "$(closed_port)" >"$work/mail.out" 2>&1 || fail "mail-set Port: $(cat "$work/mail.out")"
  for _ in $(seq 50); do [ "$(attempts)" = 2 ] && break; sleep 0.1; done
  [ "$(attempts)" = 2 ] || fail "a port set through the service did not try the waiting mail at once"
fi
mkdir -p "$work/sink"
/usr/bin/python3 "$(dirname "$0")/../notify/smtp_sink.py" --folder "$work/sink" >"$work/sink.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sink/port" ] && break; sleep 0.1; done
[ -s "$work/sink/port" ] || fail "the SMTP server did not start: $(cat "$work/sink.log")"
sed -i -e "s/^\"Port\"=.*/\"Port\"=\"$(cat "$work/sink/port")\"/" -e 's/^"SMTP"=.*/"SMTP"="127.0.0.1"/' \
  "$work/data/KV_RODE_RUR.reg"
hangup=$(date +%s%N)
kill -HUP "$service_pid"
for _ in $(seq 50); do [ -e "$work/sink/mail-1.eml" ] && break; sleep 0.1; done
[ -e "$work/sink/mail-1.eml" ] || fail "the alarm mail did not arrive within 5 s of SIGHUP"
echo "the alarm mail arrived $((($(date +%s%N) - hangup) / 1000000)) ms after SIGHUP"
grep -q "Hard Disk Drive fail" "$work/sink/mail-1.eml" || fail "the mail that arrived is no alarm: $(cat "$work/sink/mail-1.eml")"
for _ in $(seq 20); do [ -z "$(ls -A "$work/data/outbox")" ] && break; sleep 0.1; done
[ -z "$(ls -A "$work/data/outbox")" ] || fail "the delivered mail is still in the outbox"
echo "PASS"
