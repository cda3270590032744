#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sanitizer runs of the tests; each builds into its own folder and fails on the first report.
#   scripts/sanitize.sh address   every test (core, command line, window, fuzz corpus replays) built
#                                 with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   scripts/sanitize.sh thread    the engine tests on the real clock, where DriveDetectThread runs
#                                 beside the main context, with ThreadSanitizer, in build-tsan/
# Extra arguments go to ctest (address) or to the test binary (thread).
# RUR_SANITIZE_GUI=0 leaves the window (and its tests) out of the address run.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
shift || true
gui=ON
if [ "${RUR_SANITIZE_GUI:-1}" = 0 ]; then gui=OFF; fi

case "$mode" in
  address)
    build=build-asan
    if [ ! -f "$build/build.ninja" ]; then
      cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DCMAKE_CXX_FLAGS="-fno-sanitize-recover=undefined" -DRUR_SANITIZE=ON -DRUR_BUILD_BENCH=OFF \
        -DRUR_BUILD_GUI="$gui" >/dev/null
    fi
    ninja -C "$build" -j"$(nproc)"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export QT_QPA_PLATFORM=offscreen
    # The virtual-machine tests run qemu, and the desktop test a real X server whose client
    # libraries (xkbcommon among them) trip the strict checks: not our code under the sanitizers.
    # The Windows build and the Debian packages build their own, unsanitized binaries: they run in
    # the plain suite only.
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE 'vm|desktop|windows|debian' "$@"
    ;;
  thread)
    build=build-tsan
    if [ ! -f "$build/build.ninja" ]; then
      cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
        -DRUR_BUILD_BENCH=OFF -DRUR_BUILD_GUI=OFF >/dev/null
    fi
    ninja -C "$build" -j"$(nproc)" rur_tests
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
      "$build/rur_tests" --gtest_filter='RealClockEngine.*' "$@"
    ;;
  *)
    echo "usage: scripts/sanitize.sh address|thread [arguments]" >&2
    exit 2
    ;;
esac
