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
    registered=$(wine reg query "$key" /v ImagePath | tr -d '\r')
    echo "$registered"
    grep -q 'rode-rurd.exe" service "--simulate"' <<<"$registered"
    if wine "$folder/rode-rurd.exe" install >/dev/null 2>&1; then
      echo "a second install did not fail"
      exit 1
    fi
    wine "$folder/rode-rurd.exe" uninstall
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
  *)
    echo "usage: $0 build|unit|status LINUX_RURCTL|service|settings" >&2
    exit 2
    ;;
esac
