#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts rode-rur on the demo scenario under a virtual X server and takes pictures of the Upgrade
# page during an upgrade and of the E-mail page with its settings filled in. Needs xvfb, xdotool,
# ImageMagick and python3; run from the repository root after building (build dir as the first
# argument, default build).
set -euo pipefail
build="${1:-build}"
out="$(cd "$(dirname "$0")" && pwd)"
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT

if [ -z "${RUR_SCREENSHOT_INNER:-}" ]; then
  RUR_SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# A firmware image the demo enclosure takes: type 1, product 27h 60h, a newer version.
image="$data/rur-firmware-1404.bin"
python3 - "$image" <<'PY'
import struct, sys
data = bytearray((i * 31 + (i >> 8)) & 0xFF ^ 0x5A for i in range(512 * 1024))
data[0x80:0x84] = b"QOVA"
data[0x84:0x94] = bytes.fromhex("EF6D16AEDC6F4C479BA4B6AAE4B69A84")
data[0x95] = 0x01
data[0x9C:0xA0] = struct.pack(">I", 0x14040110)
data[0xA0:0xA2] = bytes([0x27, 0x60])
open(sys.argv[1], "wb").write(data)
PY

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

click() {  # click X Y, in window coordinates
  xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1
  sleep 0.6
  xdotool mousemove 0 0
  sleep 0.4
}
type_into() {  # type_into X Y TEXT: click an edit and type
  xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1
  sleep 0.2
  xdotool type --delay 20 "$3"
}

sleep 8              # the first detection
click 96 238         # E-mail
type_into 292 135 "smtp.example.org"
type_into 292 223 "Storage alarms"
type_into 292 267 "storage@example.org"
click 412 133        # SMTP Login Authentication
type_into 498 179 "storage"
type_into 498 223 "secret"
xdotool mousemove 0 0
sleep 0.5
import -window "$window" "$out/email-page.png"
click 458 378        # OK
sleep 1

click 96 182         # Upgrade
click 541 184        # Load
sleep 1.5
xdotool type --delay 20 "$image"
xdotool key Return
sleep 1
click 535 88         # Upgrade
sleep 20             # well into programming: the simulated enclosure takes about 11 ms a block
import -window "$window" "$out/upgrade-page.png"
