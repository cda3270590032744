#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the whole screen with the window on it: at 1x on 1024 x 768, at 2x on 1280 x 800, at
# 1.5x on 800 x 600 (the window shrinks to the screen and its frame scrolls), and under a dark
# desktop theme (qt6ct's "darker" colours with the Fusion style: the window keeps its own
# colours). Needs xvfb, openbox, qt6ct and ImageMagick; run from the repository root after
# building (build dir as the first argument, default build).
set -euo pipefail
build="${1:-build}"
out="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/config/qt6ct"
printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
  >"$work/config/qt6ct/qt6ct.conf"

# shot NAME SCREEN [VARIABLE=VALUE ...]: the window on a fresh screen of that size.
shot() {
  local name="$1" screen="$2"
  shift 2
  cat >"$work/inner.sh" <<INNER
#!/usr/bin/env bash
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
sleep 1
env $* "$build/rode-rur" --simulate --data-dir "$work/data-$name" >/dev/null 2>&1 &
sleep 7
import -window root "$out/$name.png"
kill %2
INNER
  chmod +x "$work/inner.sh"
  xvfb-run -a -s "-screen 0 ${screen}x24 -nolisten tcp" "$work/inner.sh"
}

shot scale-1x-1024x768 1024x768
shot scale-2x-1280x800 1280x800 QT_SCALE_FACTOR=2
shot scale-1.5x-800x600 800x600 QT_SCALE_FACTOR=1.5
shot dark-theme 1024x768 QT_QPA_PLATFORMTHEME=qt6ct XDG_CONFIG_HOME="$work/config"
