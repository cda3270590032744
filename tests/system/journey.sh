#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A user's journey through the installed product, run by the guest's systemd (rur-journey.service)
# at each boot. Boot 1 starts from the previous build's packages as apt installed them, upgrades
# to this build's, and walks the service's faces; it ends by cutting the power in the middle of a
# firmware upgrade. Boot 2 finds that upgrade unfinished, repairs it, has the host look at the
# Cockpit page and purges the packages. Every check prints "@@ok NAME" or "@@fail NAME: why";
# figures are "@@figure NAME VALUE"; the host (tests/system/host_driver.py) reads them from the
# second serial port and answers the requests the journey sends it over the network.
set -uo pipefail
exec >/dev/ttyS1 2>&1

# The host's address and ports come on the kernel's command line, the password with the disk.
host="" smtp_port="" control_port=""
for word in $(cat /proc/cmdline); do
  case "$word" in
    rur.host=*) host=${word#*=} ;;
    rur.smtp=*) smtp_port=${word#*=} ;;
    rur.control=*) control_port=${word#*=} ;;
  esac
done
admin_password=$(cat /vm/admin-password)
phase_file=/var/lib/rur-journey/phase
mkdir -p /var/lib/rur-journey
phase=$(cat "$phase_file" 2>/dev/null || echo 1)

ok() { echo "@@ok $1"; }
fail() { echo "@@fail $1: ${2:-}"; }
figure() { echo "@@figure $1 $2"; }
check() {  # check NAME COMMAND...: the command's success is the check's
  local name=$1
  shift
  local output
  if output=$("$@" 2>&1); then ok "$name"; else fail "$name" "$(tail -n 5 <<<"$output" | tr '\n' '|')"; fi
}
# A request to the host over the network; its one-line answer is printed.
ask_host() {
  local reply=""
  exec 3<>"/dev/tcp/$host/$control_port" || { echo "no-host"; return 1; }
  echo "$*" >&3
  IFS= read -r -t 600 reply <&3
  exec 3>&-
  echo "$reply"
}
wait_until() {  # wait_until SECONDS COMMAND...
  local bound=$1
  shift
  local deadline=$((SECONDS + bound))
  while [ $SECONDS -lt $deadline ]; do
    "$@" >/dev/null 2>&1 && return 0
    sleep 1
  done
  return 1
}
service_active() { systemctl is-active --quiet rode-rur.service; }
name_on_bus() { busctl --system --no-pager status org.roderur.RodeRur1 >/dev/null 2>&1; }
as_alice() { runuser -u alice -- "$@"; }
as_admin() { runuser -u admin -- sh -c "echo '$admin_password' | sudo -S -p '' $*"; }
now_ms() { date +%s%3N; }
# Exits with the status of rurctl and keeps its output in $out.
run() { out=$("$@" 2>&1); }
outbox_count() { rurctl mail-queue --json | grep -c '"age_seconds"'; }

echo "@@phase $phase"

if [ "$phase" = 1 ]; then
  # The previous build as installed: its service ran as its own user and could not be configured
  # through the bus; an administrator wrote the settings file as its manual said.
  wait_until 120 sh -c '! systemctl is-activating --quiet rode-rur.service' || true
  echo "previous service: $(systemctl is-active rode-rur.service) as $(systemctl show -p User --value rode-rur.service)"
  rm -rf /tmp/old-settings
  for setting in "SMTP $host" "Port $smtp_port" "Addr rode-rur@guest.example" "SenderName RODE RUR guest"; do
    # shellcheck disable=SC2086
    rurctl --data-dir /tmp/old-settings mail-set $setting >/dev/null
  done
  rurctl --data-dir /tmp/old-settings mail-recipients add admin@example.org >/dev/null
  for file in /tmp/old-settings/*; do
    case "$file" in *.log) continue ;; esac
    install -o rode-rur -g rode-rur -m 600 "$file" /etc/rode-rur/
  done
  ls -ln /etc/rode-rur /var/lib/rode-rur
  old_log=$(ls /var/lib/rode-rur/*.log 2>/dev/null | head -n 1)
  old_log_first=$( [ -n "$old_log" ] && head -n 1 "$old_log")
  [ -n "$old_log" ] && ok previous-day-log || fail previous-day-log "the previous service wrote no day log"

  # The upgrade, as a user does it.
  started=$(now_ms)
  check apt-upgrade env DEBIAN_FRONTEND=noninteractive apt-get install -y -q /vm/current/rode-rur-daemon_*.deb \
    /vm/current/rode-rur_*.deb /vm/current/cockpit-rode-rur_*.deb
  figure apt-upgrade-ms $(( $(now_ms) - started ))
  dpkg-query -W rode-rur-daemon
  check service-active-after-upgrade wait_until 60 service_active
  check service-enabled systemctl is-enabled --quiet rode-rur.service
  check service-runs-as-root test "$(ps -o uid= -p "$(systemctl show -p MainPID --value rode-rur.service)" | tr -d ' ')" = 0
  check name-on-bus wait_until 30 name_on_bus
  check folders-root-owned sh -c '[ "$(stat -c %u /var/lib/rode-rur)" = 0 ] && [ "$(stat -c %u /etc/rode-rur)" = 0 ] &&
      [ -z "$(find /var/lib/rode-rur /etc/rode-rur ! -uid 0)" ]'
  [ -n "$old_log" ] && [ "$(head -n 1 "$old_log")" = "$old_log_first" ] && ok day-log-kept || fail day-log-kept "$old_log"
  check settings-kept sh -c "rurctl mail-settings | grep -q '$host'"

  # Status through the service, as root and as a plain user, is what the engine says in-process.
  started=$(now_ms)
  run rurctl status
  root_status=$?
  figure first-status-ms $(( $(now_ms) - started ))
  echo "$out"
  service_out=$out
  check status-finds-enclosure grep -q "KESTREL KD1000SX" <<<"$service_out"
  run as_alice rurctl status
  [ "$out" = "$service_out" ] && ok status-plain-user || fail status-plain-user "$out"
  run rurctl --direct status
  direct_status=$?
  # The refresh time differs between two looks; every other line is the same.
  strip() { grep -v -i 'refreshed' <<<"$1"; }
  [ "$(strip "$out")" = "$(strip "$service_out")" ] && [ "$direct_status" = "$root_status" ] &&
    ok status-same-in-process || fail status-same-in-process "$(diff <(strip "$out") <(strip "$service_out") | tr '\n' '|')"
  journalctl -b -u rode-rur.service --no-pager | tail -n 5

  # What polkit decides: root and an administrator (through sudo) may, a plain user may not.
  check mail-set-root rurctl mail-set Port "$smtp_port"
  check recipients-admin as_admin rurctl mail-recipients add second@example.org
  run as_alice rurctl mail-set Port 25
  [ $? -ne 0 ] && grep -q "not authorized" <<<"$out" && ok mail-set-plain-refused || fail mail-set-plain-refused "$out"
  run as_alice rurctl firmware-backup /tmp/alice.bin --length 65536
  [ $? -ne 0 ] && grep -q "not authorized" <<<"$out" && ok backup-plain-refused || fail backup-plain-refused "$out"
  run as_alice rurctl firmware /vm/firmware-small.bin --yes --force
  [ $? -ne 0 ] && grep -q "not authorized" <<<"$out" && ok upgrade-plain-refused || fail upgrade-plain-refused "$out"
  check mail-test-root rurctl mail-test
  check backup-root rurctl firmware-backup /root/backup.bin --length 65536
  check backup-root-size test "$(stat -c %s /root/backup.bin 2>/dev/null)" = 65536
  check backup-admin as_admin rurctl firmware-backup /root/backup-admin.bin --length 4096
  started=$(now_ms)
  check upgrade-root rurctl firmware /vm/firmware-small.bin --yes --force
  figure upgrade-8k-ms $(( $(now_ms) - started ))
  check upgrade-admin as_admin rurctl firmware /vm/firmware-small.bin --yes --force

  # A pull while the mail server cannot be reached: the alarm waits in the outbox, through a
  # reload and a restart, and reaches the host's mailbox once the port is right again.
  check mail-set-wrong-port rurctl mail-set Port 9
  [ "$(ask_host pull)" = ok ] && ok host-pulled || fail host-pulled "the host did not pull HDD2"
  degraded() { rurctl status >/dev/null; [ $(( $? & 4 )) -ne 0 ]; }
  check pull-seen wait_until 60 degraded
  check alarm-in-journal wait_until 60 sh -c 'journalctl -b -u rode-rur.service -p err --no-pager | grep -q HDD2'
  outbox_holds() { [ "$(outbox_count)" = "$1" ]; }
  check alarm-in-outbox wait_until 60 outbox_holds 1
  rurctl mail-queue
  check reload systemctl reload rode-rur.service
  check outbox-after-reload test "$(outbox_count)" = 1
  check restart systemctl restart rode-rur.service
  check outbox-after-restart test "$(outbox_count)" = 1
  check settings-after-restart sh -c "rurctl mail-settings | grep -Eq '^port +9\$'"
  check mail-set-right-port rurctl mail-set Port "$smtp_port"
  rurctl mail-queue --flush >/dev/null 2>&1
  check outbox-delivered wait_until 60 outbox_holds 0

  # The power cut in the middle of an upgrade: the journal of the run says it is programming.
  echo 2 >"$phase_file"
  sync
  rurctl firmware /vm/firmware-large.bin --yes --force >/tmp/upgrade.txt 2>&1 &
  programming() { grep -qs 'step=program' /var/lib/rode-rur/firmware-upgrade-*.journal; }
  if wait_until 300 programming; then
    ok upgrade-programming
  else
    fail upgrade-programming "$(cat /tmp/upgrade.txt | tr '\n' '|')"
  fi
  echo "@@reset"
  sync
  echo b >/proc/sysrq-trigger
  sleep 60
  exit 0
fi

if [ "$phase" = 2 ]; then
  check service-active-after-boot wait_until 120 service_active
  check service-enabled-after-boot systemctl is-enabled --quiet rode-rur.service
  active_us=$(systemctl show -p ActiveEnterTimestampMonotonic --value rode-rur.service)
  figure boot-to-service-active-ms $((active_us / 1000))
  systemd-analyze blame --no-pager 2>/dev/null | head -n 8
  started=$(now_ms)
  run rurctl status
  status=$?
  figure first-status-after-boot-ms $(( $(now_ms) - started ))
  echo "$out"
  grep -q "did not finish" <<<"$out" && [ $((status & 64)) -ne 0 ] && ok unfinished-upgrade-told ||
    fail unfinished-upgrade-told "status $status: $out"
  started=$(now_ms)
  check recovery rurctl firmware /vm/firmware-large.bin --yes --force
  figure recovery-64k-ms $(( $(now_ms) - started ))
  run rurctl status
  status=$?
  [ $((status & 64)) -eq 0 ] && ! grep -q "did not finish" <<<"$out" && ok flash-repaired || fail flash-repaired "status $status: $out"
  check new-version-shown grep -q "160103" <<<"$out"

  [ "$(ask_host cockpit)" = ok ] && ok cockpit-page || fail cockpit-page "the host's browser did not see the enclosure"

  check apt-purge env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q cockpit-rode-rur rode-rur rode-rur-daemon
  left=$(find / -xdev \( -path /proc -o -path /vm -o -path /var/log/journal -o -path /var/lib/rur-journey \) -prune -o \
           \( -name '*rode-rur*' -o -name '*roderur*' -o -name '*RODE_RUR*' -o -name 'rurctl*' \) -print)
  [ -z "$left" ] && ok purge-leaves-nothing || fail purge-leaves-nothing "$(tr '\n' ' ' <<<"$left")"
  getent passwd rode-rur >/dev/null && ok user-stays || fail user-stays "the user rode-rur is gone"
fi

echo "@@journey done"
sync
systemctl --no-block poweroff
