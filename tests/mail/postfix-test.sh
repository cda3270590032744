#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The alarm mail against a real submission server: Postfix on 127.0.0.1 with STARTTLS and a test
# CA, logins checked by Dovecot (AUTH PLAIN only) against an account whose password is 22 bytes,
# one recipient refused with 550. Everything lives in a temporary folder of its own (postfix -c,
# dovecot -c); nothing of the system's mail setup is read or changed, nothing leaves 127.0.0.1.
#  1. rurctl mail-test logs in as "raid" (UserID empty: the local part of Addr) and exits 0;
#  2. a member fails on the simulated enclosure: rurctl monitor --json prints a mail-refused event
#     for the refused address, the day log names it, and the other recipient's mailbox gets the
#     alarm, whose 3000-character contents line arrives intact in lines of at most 998 bytes, free
#     of defects as Python's email parser sees them;
#  3. the enclosure is unplugged: Postfix refuses that alarm's subject at the end of the message
#     (header_checks REJECT, "550 5.7.1 content refused by policy"), and rurctl monitor --json prints
#     a mail-refused event with that reply for the recipient the server had taken, the day log
#     names it, and the mail is not kept to be tried again.
# Postfix's master runs as root only: run as a user, the test asks sudo (without a password) and
# skips when it cannot.
# usage: postfix-test.sh RURCTL
set -euo pipefail
rurctl=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    exec sudo -n "$0" "$rurctl"
  fi
  echo "SKIP: Postfix runs as root only, and sudo asks for a password"
  exit 77
fi
for tool in postfix dovecot openssl python3; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "SKIP: $tool is not installed"; exit 77; }
done
export PATH="$PATH:/usr/sbin:/sbin"
for account in postfix dovecot dovenull; do
  id "$account" >/dev/null 2>&1 || { echo "SKIP: the $account user is missing"; exit 77; }
done

work=$(mktemp -d /tmp/rur-postfix.XXXXXX)
chmod 755 "$work"
cleanup() {
  postfix -c "$work/postfix" stop >/dev/null 2>&1 || true
  [ -f "$work/dovecot-run/master.pid" ] && kill "$(cat "$work/dovecot-run/master.pid")" 2>/dev/null || true
  sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- Postfix log"; cat "$work/postfix.log" 2>/dev/null || true
  echo "--- Dovecot log"; cat "$work/dovecot.log" 2>/dev/null || true
  exit 1
}

# A free port on the loopback for the submission service.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# The test CA and the server's certificate for 127.0.0.1.
tls="$work/tls"
mkdir -p "$tls"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=RUR mail test CA" \
  -keyout "$tls/ca.key" -out "$tls/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$tls/server.key" -out "$tls/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$tls/ext.cnf"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
  -extfile "$tls/ext.cnf" -out "$tls/server.pem" 2>/dev/null
chmod 644 "$tls"/*.pem
chmod 640 "$tls/server.key"
chgrp postfix "$tls/server.key"

# Dovecot: the login check alone, for Postfix's SASL, PLAIN only.
password='correct-horse-22-bytes'
[ ${#password} -eq 22 ] || fail "the password is not 22 bytes"
mkdir -p "$work/dovecot-run" "$work/dovecot-state" "$work/postfix/spool/private"
# Postfix's own sockets go there too; it wants the folder its own.
chown postfix "$work/postfix/spool/private"
chmod 700 "$work/postfix/spool/private"
printf 'raid:{PLAIN}%s\n' "$password" >"$work/dovecot-users"
chmod 644 "$work/dovecot-users"
cat >"$work/dovecot.conf" <<CONF
base_dir = $work/dovecot-run
state_dir = $work/dovecot-state
log_path = $work/dovecot.log
protocols =
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
auth_verbose = yes
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%n $work/dovecot-users
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup home=$work/home/%n
}
service auth {
  unix_listener $work/postfix/spool/private/auth {
    mode = 0660
    user = postfix
    group = postfix
  }
}
CONF

# Postfix: submission with STARTTLS and SASL on the test port; mail for example.org goes to
# maildirs under the work folder; an address without a mailbox is refused at RCPT with 550.
conf="$work/postfix"
mkdir -p "$work/mailboxes"
chown nobody:nogroup "$work/mailboxes"
printf 'ops@example.org ops/\nraid@example.org raid/\n' >"$work/vmailbox"
cat >"$conf/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $conf/spool
data_directory = $conf/data
mail_owner = postfix
setgid_group = postdrop
myhostname = mail.example.org
mydomain = example.org
myorigin = example.org
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.1/32
alias_maps =
alias_database =
maillog_file = $work/postfix.log
maillog_file_prefixes = $work
relayhost =
virtual_mailbox_domains = example.org
virtual_mailbox_base = $work/mailboxes
virtual_mailbox_maps = texthash:$work/vmailbox
virtual_uid_maps = static:65534
virtual_gid_maps = static:65534
smtpd_tls_cert_file = $tls/server.pem
smtpd_tls_key_file = $tls/server.key
smtpd_tls_security_level = may
smtpd_tls_auth_only = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = private/auth
smtpd_sasl_auth_enable = yes
smtpd_relay_restrictions = permit_sasl_authenticated, reject_unauth_destination
smtpd_recipient_restrictions = reject_unlisted_recipient, permit_sasl_authenticated, reject
header_checks = regexp:$work/header_checks
CONF
printf '/^Subject: .*Device Removed/ REJECT content refused by policy\n' >"$work/header_checks"
# The services of the distribution's master.cf, none of them chrooted (the queue is ours, without
# the system files a chroot needs) and without the pipes to other mail systems, and the submission
# service on the test port.
awk -v port="$port" '
  /^#/ || /^[ \t]/ || NF == 0 { next }
  $1 == "smtp" && $2 == "inet" { next }
  $8 == "pipe" { next }
  NF >= 8 { $5 = "n"; print; next }
  END { print "127.0.0.1:" port " inet n - n - - smtpd" }
' /usr/share/postfix/master.cf.dist >"$conf/master.cf"

dovecot -c "$work/dovecot.conf" || fail "dovecot did not start"
for _ in $(seq 50); do [ -S "$conf/spool/private/auth" ] && break; sleep 0.1; done
[ -S "$conf/spool/private/auth" ] || fail "dovecot's login socket did not appear"
postfix -c "$conf" check >"$work/check.log" 2>&1 || { cat "$work/check.log"; fail "postfix check"; }
postfix -c "$conf" start >"$work/start.log" 2>&1 || { cat "$work/start.log"; fail "postfix did not start"; }
for _ in $(seq 100); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null && break
  sleep 0.1
done

# rurctl's side: its own data folder, the server, the account, the texts.
cd "$work"
run=(--virtual-time --data-dir "$work/data")
texts="$work/texts"
mkdir -p "$texts"
set_mail() { "$rurctl" --simulate "${run[@]}" mail-set "$@" >/dev/null || fail "mail-set $*"; }
set_mail SMTP 127.0.0.1
set_mail Port "$port"
set_mail Addr raid@example.org
set_mail Login on
set_mail CAFile "$tls/ca.pem"
set_mail ImplicitTLS 0
set_mail FilePath "$texts"
printf '%s\n' "$password" | "$rurctl" --simulate "${run[@]}" mail-set Password - >/dev/null || fail "mail-set Password"
for address in ops@example.org gone@example.org; do
  "$rurctl" --simulate "${run[@]}" mail-recipients add "$address" >/dev/null || fail "mail-recipients add $address"
done
long_line=$(python3 -c 'print("".join("%010d" % i for i in range(300)))')
printf 'The enclosure needs a look.\n%s\nEnd of the report.\n' "$long_line" >"$texts/EmailContens Hard Disks Fail.txt"
: >"$texts/EmailSubject Hard Disks Fail.txt"

"$rurctl" --simulate "${run[@]}" mail-test >"$work/mail-test.out" 2>&1 || {
  cat "$work/mail-test.out"
  fail "mail-test with a 22-byte password, UserID empty and AUTH PLAIN only"
}
grep -q "user=<raid>" "$work/dovecot.log" 2>/dev/null || grep -q "sasl_username=raid" "$work/postfix.log" ||
  fail "the login was not the account raid"

cat >"$work/fails.json" <<'JSON'
{"name": "fails", "drives": [
  {"number": 1, "type": "enclosure", "mode": "mirroring", "fan": 2650, "temperature": 37,
   "members": [{"model": "KESTREL KD1000SX", "serial": "KD1", "capacity": 1953525168},
               {"model": "KESTREL KD1000SX", "serial": "KD2", "capacity": 1953525168}]}],
  "timeline": [{"at": 30, "drive": 1, "event": "member-failed", "member": "HDD2"}]}
JSON
"$rurctl" --simulate="$work/fails.json" "${run[@]}" monitor --for 60 --json >"$work/events.json" 2>"$work/monitor.err" ||
  { cat "$work/monitor.err"; fail "monitor"; }
"$rurctl" --simulate="$work/fails.json" "${run[@]}" log >"$work/day.log" 2>&1 || fail "log"

# Postfix delivers on its own time: wait for the alarm in the mailbox.
mailbox="$work/mailboxes/ops/new"
for _ in $(seq 300); do
  [ -n "$(ls -A "$mailbox" 2>/dev/null)" ] && break
  sleep 0.1
done
python3 "$here/check_delivery.py" --events "$work/events.json" --day-log "$work/day.log" --mailbox "$mailbox" \
  --long-line "$long_line" --refused gone@example.org || fail "the delivered alarm"

# A mail the server refuses at its end is refused for good, like a recipient refused at RCPT TO.
cat >"$work/unplugged.json" <<'JSON'
{"name": "unplugged", "drives": [
  {"number": 1, "type": "enclosure", "mode": "mirroring", "fan": 2650, "temperature": 37,
   "members": [{"model": "KESTREL KD1000SX", "serial": "KD3", "capacity": 1953525168},
               {"model": "KESTREL KD1000SX", "serial": "KD4", "capacity": 1953525168}]}],
  "timeline": [{"at": 30, "drive": 1, "event": "unplugged"}]}
JSON
"$rurctl" --simulate="$work/unplugged.json" "${run[@]}" monitor --for 60 --json >"$work/refused.json" \
  2>"$work/refused.err" || { cat "$work/refused.err"; fail "monitor of the unplugged enclosure"; }
python3 - "$work/refused.json" <<'PYTHON' || fail "the refusal at the message's end"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
refused = {e["recipient"]: e for e in events if e.get("event") == "mail-refused"}
ops = refused.get("ops@example.org")
if not ops or ops["code"] != 550 or ops["text"] != "5.7.1 content refused by policy":
    sys.exit(f"no mail-refused event for ops@example.org with Postfix's reply: {list(refused.values())}")
PYTHON
"$rurctl" --simulate="$work/unplugged.json" "${run[@]}" log >"$work/day.log" 2>&1 || fail "log"
grep -q 'refused for ops@example.org by the server: "550 5.7.1 content refused by policy"' "$work/day.log" ||
  fail "the day log does not name the refusal: $(tail -5 "$work/day.log")"
"$rurctl" --simulate "${run[@]}" mail-queue >"$work/queue.out" 2>&1 || fail "mail-queue"
grep -q "No mail waits" "$work/queue.out" || fail "the refused mail waits to be tried again: $(cat "$work/queue.out")"
echo "PASS"
