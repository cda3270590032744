#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts rode-rur on the demo scenario under a virtual X server, walks through its pages and
# saves a picture of each. Needs xvfb, xdotool and ImageMagick; run from the repository root
# after building (build dir as the first argument, default build).
set -euo pipefail
build="${1:-build}"
out="$(cd "$(dirname "$0")" && pwd)"
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT

if [ -z "${RUR_SCREENSHOT_INNER:-}" ]; then
  RUR_SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

"$build/rode-rur" --simulate --data-dir "$data" &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$data"' EXIT

window=""
for _ in $(seq 50); do
  window="$(xdotool search --name 'RODE RUR' 2>/dev/null | head -1 || true)"
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT

shot() {  # shot NAME [WINDOW]
  local target="${2:-$window}"
  import -window "$target" "$out/$1.png"
}
click() {  # click X Y, in window coordinates
  xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1
  sleep 0.6
  xdotool mousemove 0 0
  sleep 0.4
}
at() {  # wait until SECONDS after the start
  local now
  now=$(( $(date +%s) - start ))
  [ "$now" -lt "$1" ] && sleep $(( $1 - now ))
  return 0
}
start=$(date +%s)

at 8
click 96 294        # SMART
shot smart-page
click 96 126        # Status
at 34
shot status-member-removed
at 125
shot status-page
click 96 350        # About
shot about-page
click 96 126
click 545 88        # Event Log
sleep 1.5
viewer="$(xdotool search --name 'Event log' | head -1)"
shot log-viewer "$viewer"
