#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the Windows cross-build and its tests under wine need, only what is missing.
# The lists of scripts/install-deps.sh bring the header-only libraries and GoogleTest's sources.
set -euo pipefail
cd "$(dirname "$0")"
exec ./install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 "$@"
