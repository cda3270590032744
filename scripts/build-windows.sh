#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows programs (rurctl.exe, rode-rurd.exe) into build-windows/ with Debian's
# mingw-w64, installing what is missing first. Each .exe is linked statically and runs on its own,
# with the mail library built from Debian's curl sources (scripts/build-windows-curl.sh; once, then
# kept in build-windows/curl).
# Options are passed to CMake (for example -DRUR_BUILD_TESTS=ON for the tests that run under wine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-windows-deps.sh
folder=build-windows
scripts/build-windows-curl.sh "$folder" "${RUR_BUILD_JOBS:-2}"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
if [ ! -f "$folder/build.ninja" ]; then
  cmake -S . -B "$folder" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DRUR_BUILD_GUI=OFF -DRUR_BUILD_BENCH=OFF -DRUR_BUILD_TESTS=OFF \
    "${launcher[@]}" "$@"
elif [ $# -gt 0 ]; then
  cmake -S . -B "$folder" "$@" >/dev/null
fi
# The compiler is heavy on memory: at most two jobs.
ninja -C "$folder" -j "${RUR_BUILD_JOBS:-2}"
