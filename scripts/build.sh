#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures (once, or again when options are given) and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja "$@"
elif [ $# -gt 0 ]; then
  cmake -S . -B build "$@" >/dev/null
fi
ninja -C build
