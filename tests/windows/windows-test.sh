#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build under wine, one step per call (the CTest entries of label "windows"):
#   build                 cross-builds rurctl.exe, rode-rurd.exe and the unit tests into
#                         build-windows/ and starts the wine prefix (once per run: its first
#                         start is slow)
#   unit                  the unit tests that need no Linux device
#   status LINUX_RURCTL   rurctl.exe's simulated status JSON against the Linux build's
#   service               rode-rurd.exe install registers the service, uninstall removes it
#   settings              the machine's mail settings go to the registry key and are read back
#   mail                  a simulated pull's alarm mail reaches a local SMTP server
#                         (tests/notify/smtp_sink.py on 127.0.0.1), and the test mail goes over
#                         STARTTLS with a login, the server's certificate checked against the
#                         test CA that CAFile names (and refused against another CA)
# Exits 77 (skipped) where the cross-compiler or wine is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
folder=build-windows
export WINEPREFIX="$PWD/$folder/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
  echo "mingw-w64 or wine is not installed (scripts/install-windows-deps.sh): skipped"
  exit 77
fi

# Checks that only hold on Linux: file modes, the DMI folder, the lock holder named from /proc.
linux_only="RegFileSettingsStore.ValuesSurviveTheFileWithAwkwardTextAndOwnerOnlyMode"
linux_only+=":SystemInfo.FiveLinesWithTheFirstInterfaceThatHasAddresses"
linux_only+=":SimulatedHost.ProgramsSharingAStateFolderTakeTurnsOnTheController"

case "${1:-}" in
  build)
    RUR_BUILD_JOBS=2 scripts/build-windows.sh -DRUR_BUILD_TESTS=ON
    ninja -C "$folder" -j 2 rur_windows_tests
    # A fresh prefix each run, started once here; the later steps start in it at once.
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    ;;
  unit)
    wine "$folder/rur_windows_tests.exe" --gtest_brief=1 --gtest_filter="-$linux_only"
    ;;
  status)
    linux_rurctl=$2
    for scenario in "" "=two-enclosures"; do
      # A degraded array gives its own exit status: both must give the same.
      linux_status=0 windows_status=0
      "$linux_rurctl" --simulate$scenario --virtual-time status --json >"$folder/status-linux.json" || linux_status=$?
      wine "$folder/rurctl.exe" --simulate$scenario --virtual-time status --json >"$folder/status-windows.json" ||
        windows_status=$?
      if [ "$linux_status" != "$windows_status" ]; then
        echo "status --simulate$scenario: exit status $linux_status on Linux, $windows_status on Windows"
        exit 1
      fi
      # The same enclosures in the same words; only where the host keeps its disks may differ.
      python3 - "$folder/status-linux.json" "$folder/status-windows.json" <<'PYTHON'
import json, sys
def load(path):
    enclosures = json.load(open(path, encoding="utf-8"))
    for enclosure in enclosures:
        enclosure.pop("path", None)
        enclosure.pop("by_id", None)
    return enclosures
linux, windows = load(sys.argv[1]), load(sys.argv[2])
if linux != windows or not linux:
    print("rurctl.exe's status differs from the Linux build's:")
    print(json.dumps(linux, indent=1, sort_keys=True))
    print(json.dumps(windows, indent=1, sort_keys=True))
    sys.exit(1)
PYTHON
      echo "status --simulate$scenario: the same on both"
    done
    ;;
  service)
    key='HKLM\System\CurrentControlSet\Services\rode-rurd'
    wine "$folder/rode-rurd.exe" uninstall >/dev/null 2>&1 || true
    wine "$folder/rode-rurd.exe" install --simulate
    # wine writes the service manager's registry when its server ends: until then a new process
    # may find the service unregistered.
    wineserver -w
    registered=$(wine reg query "$key" /v ImagePath | tr -d '\r')
    echo "$registered"
    grep -q 'rode-rurd.exe" service "--simulate"' <<<"$registered"
    if wine "$folder/rode-rurd.exe" install >/dev/null 2>&1; then
      echo "a second install did not fail"
      exit 1
    fi
    wine "$folder/rode-rurd.exe" uninstall
    wineserver -w
    if wine reg query "$key" >/dev/null 2>&1; then
      echo "the service is still registered after uninstall"
      exit 1
    fi
    ;;
  settings)
    key='HKLM\SOFTWARE\KV_RODE_RUR'
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    wine "$folder/rurctl.exe" mail-set SMTP mail.example.com
    wine "$folder/rurctl.exe" mail-set Port 587
    stored=$(wine reg query "$key" | tr -d '\r')
    echo "$stored"
    grep -Eq 'SMTP +REG_SZ +mail.example.com' <<<"$stored"
    grep -Eq 'EMailSend +REG_DWORD' <<<"$stored"
    grep -Eq 'ProductID +REG_BINARY' <<<"$stored"
    wine "$folder/rurctl.exe" mail-settings --json | tr -d '\r' | grep -q '"Port": "587"'
    ;;
  mail)
    # The system's Python with aiosmtpd, as the Linux mail tests use it.
    if ! /usr/bin/python3 -c "import aiosmtpd, cryptography" 2>/dev/null; then
      echo "python3-aiosmtpd or python3-cryptography is not installed: skipped"
      exit 77
    fi
    work=$folder/mail-test
    rm -rf "$work"
    mkdir -p "$work/plain" "$work/tls" "$work/data"
    sinks=()
    trap 'kill "${sinks[@]}" 2>/dev/null || true' EXIT
    start_sink() {
      /usr/bin/python3 tests/notify/smtp_sink.py --folder "$1" --mode "$2" >"$1/server.log" 2>&1 &
      sinks+=($!)
      for _ in $(seq 100); do [ -s "$1/port" ] && break; sleep 0.1; done
      [ -s "$1/port" ] || { echo "the SMTP server did not start: $(cat "$1/server.log")"; exit 1; }
    }
    rurctl() { wine "$folder/rurctl.exe" --simulate --virtual-time --data-dir "$work/data" "$@"; }

    # Plain SMTP: the demo pulls a member, and the monitor mails the alarm.
    start_sink "$work/plain" normal
    printf '[SOFTWARE\\KV_RODE_RUR]\n"Port"="%s"\n"SMTP"="127.0.0.1"\n"Addr"="rur@example.com"\n"TimeOut"="10"\n"ToAddrCount"=dword:00000001\n"ToAddr_00"="ops@example.com"\n' \
      "$(cat "$work/plain/port")" >"$work/data/KV_RODE_RUR.reg"
    rurctl monitor --for 60 --json >"$work/events.json" 2>"$work/monitor.err" ||
      { cat "$work/monitor.err"; exit 1; }
    [ -e "$work/plain/mail-1.eml" ] || { echo "no alarm mail arrived:"; cat "$work/monitor.err"; exit 1; }
    grep -q "Hard Disk Drive fail" "$work/plain/mail-1.eml" ||
      { echo "the mail that arrived is no alarm:"; cat "$work/plain/mail-1.eml"; exit 1; }
    echo "the alarm mail arrived from rurctl.exe"

    # STARTTLS with a login, the server's certificate from a test CA that CAFile names. With a CA
    # file the mail library checks the server's name against the certificate's DNS names only, so
    # the server is named "localhost" rather than by its address. (Without one, wine's Schannel
    # takes any certificate: only a CA file is a check under wine.)
    start_sink "$work/tls" starttls
    mkdir -p "$work/other-ca"
    start_sink "$work/other-ca" starttls
    rurctl mail-set SMTP localhost >/dev/null
    rurctl mail-set Port "$(cat "$work/tls/port")" >/dev/null
    rurctl mail-set Login on >/dev/null
    echo "s3cret pass" | rurctl mail-set Password - >/dev/null
    # Files are named as Windows names them: absolute, with the drive wine maps / to.
    windows_path() { winepath -w "$(realpath "$1")" 2>/dev/null; }
    rurctl mail-set CAFile "$(windows_path "$work/other-ca/ca.pem")" >/dev/null
    if rurctl mail-test >"$work/mail-test.out" 2>&1 || ! grep -q "could not be verified" "$work/mail-test.out"; then
      echo "a certificate of another CA was not refused:"
      cat "$work/mail-test.out"
      exit 1
    fi
    [ ! -e "$work/tls/login-1.json" ] || { echo "the password went to an unverified server"; exit 1; }
    rurctl mail-set CAFile "$(windows_path "$work/tls/ca.pem")" >/dev/null
    rurctl mail-test >"$work/mail-test.out" 2>&1 || { echo "mail-test over STARTTLS:"; cat "$work/mail-test.out"; exit 1; }
    grep -q '"tls": true' "$work/tls/login-1.json" || { echo "the login was not encrypted"; exit 1; }
    [ -e "$work/tls/mail-1.eml" ] || { echo "no test mail arrived over STARTTLS"; exit 1; }
    echo "the test mail went over STARTTLS with a login; another CA's certificate was refused"
    ;;
  *)
    echo "usage: $0 build|unit|status LINUX_RURCTL|service|settings|mail" >&2
    exit 2
    ;;
esac
