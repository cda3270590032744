#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts the program on the simulated demo enclosure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ -x build/rode-rur ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/rode-rur --simulate "$@"
fi
if [ -x build/rode-rur ]; then
  echo "No display here: the demo runs in the terminal. To see the window, run ./run.sh in a desktop session (or ssh -X)."
  exec build/rurctl --simulate monitor "$@"
fi
# Until the window exists, show the demo enclosure through the command-line tool.
exec build/rurctl --simulate status "$@"
