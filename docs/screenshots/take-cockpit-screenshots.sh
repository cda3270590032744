#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the Cockpit page, light and dark, once HDD2 of the scenario is pulled: the page's own
# browser test run with this folder for its screenshots. Needs what that test needs (cockpit-ws,
# cockpit-bridge, chromium, chromium-driver, python3-selenium, dbus); run from the repository root
# after building (build dir as the first argument, default build).
set -euo pipefail
build="${1:-build}"
out="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$out/../.." && pwd)"
"$root/tests/cockpit/cockpit-page-test.sh" "$build/rode-rurd" "$build/rurctl" "$build/share" \
  "$root/tests/dbus/early-pull.json" "$out"
