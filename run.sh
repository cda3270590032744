#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts the program on the simulated demo enclosure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ -x build/rode-rur ]; then
  exec build/rode-rur --simulate "$@"
fi
# Until the window exists, show the demo enclosure through the command-line tool.
exec build/rurctl --simulate status "$@"
