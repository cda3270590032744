#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes one target for a while: fuzz/run.sh TARGET SECONDS [libFuzzer options...]
# TARGET is one of the targets below (or "all", which runs each for SECONDS); fuzz/CMakeLists.txt
# builds the same list. The targets are built with clang into build-fuzz/ with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer. New inputs go to build-fuzz/corpus/TARGET (the
# seeds in fuzz/corpus/TARGET are read, never written); a crashing input is saved to
# build-fuzz/findings/TARGET/ and the script exits non-zero. The last line gives the executions run.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
targets=(settings_text controller_answers firmware_image event_log scenario outbox_mail disk_health upgrade_journal
  bay_memory)
# Inputs as long as the largest file each target reads: a firmware image of the largest size the
# flash takes (plus the bytes that pick the device), so reads in several parts are fuzzed too.
declare -A max_len=([firmware_image]=$((0x7FFFFF + 7)))

build=${RUR_FUZZ_BUILD:-build-fuzz}
scripts/install-deps.sh clang libclang-rt-dev
if [ ! -f "$build/build.ninja" ]; then
  flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1"
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DRUR_FUZZ=ON -DRUR_BUILD_TESTS=OFF -DRUR_BUILD_BENCH=OFF -DRUR_BUILD_GUI=OFF >/dev/null
fi

run_one() {
  local name=$1
  shift
  ninja -C "$build" -j2 "${name}_fuzz" >/dev/null
  mkdir -p "$build/corpus/$name" "$build/findings/$name"
  local log="$build/findings/$name.log"
  local status=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=30 -rss_limit_mb=4096 \
    ${max_len[$name]:+-max_len=${max_len[$name]}} \
    -artifact_prefix="$build/findings/$name/" "$@" "$build/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1 ||
    status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$name: ${runs:-?} executions in ${seconds} s, exit status $status (log $log)"
  return $status
}

if [ "$target" = all ]; then
  failed=0
  for name in "${targets[@]}"; do run_one "$name" "$@" || failed=1; done
  exit $failed
fi
if [[ ! " ${targets[*]} " =~ " $target " ]]; then
  echo "unknown target $target; one of: ${targets[*]}" >&2
  exit 2
fi
run_one "$target" "$@"
