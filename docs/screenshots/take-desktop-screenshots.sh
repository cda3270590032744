#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the program on a desktop: the tray icon's tooltip and menu once HDD2 of the demo is
# pulled, and the notification of it
# (take-scale-screenshots.sh shows the window at other scales and under a dark theme). Needs
# xvfb, openbox, trayer (a notification area), dunst, dbus, xdotool and ImageMagick; run from the
# repository root after building (build dir as the first argument, default build).
set -euo pipefail
build="${1:-build}"
out="$(cd "$(dirname "$0")" && pwd)"
if [ -z "${RUR_SCREENSHOT_INNER:-}" ]; then
  RUR_SCREENSHOT_INNER=1 exec dbus-run-session -- "$0" "$@"
fi
data="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$data"' EXIT
exec 3<>"$data/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
export DISPLAY=":$(head -n1 "$data/display")"
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 & pids+=($!)
dunst >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype pixel --width 120 --height 28 --transparent false \
  --tint 0x334455 >/dev/null 2>&1 & pids+=($!)
sleep 1

"$build/rode-rur" --simulate --data-dir "$data/demo" >/dev/null 2>&1 & program=$!
sleep 34  # HDD2 is pulled 30 s into the demo
import -window root "$out/status-member-removed-notification.png"
xdotool mousemove 1270 14; sleep 3
import -window root "$out/tray-tooltip-degraded.png"
xdotool click 3; sleep 1
import -window root "$out/tray-menu.png"
xdotool key Escape
kill "$program"; sleep 1

