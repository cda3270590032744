#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The SG_IO path on a real kernel: boots a small virtual machine whose SCSI disks are the drives
# of tests/vm/vm-host.json (served by the nbdkit plugin) and runs rurctl in it on the guest's real
# /dev/sdX devices. Then checks what the guest printed and what the simulated enclosures went
# through, and prints the figures. Exits 77 (skipped) when the machine cannot run it.
#
#   tests/vm/sg_io_vm_test.sh --source DIR --work DIR --rurctl FILE --read-loop FILE --plugin FILE
#                             [--transport virtio-scsi|usb-bot|usb-uas]
#
# virtio-scsi (the default) attaches the three drives to a virtio SCSI controller and runs
# tests/vm/guest-steps.sh. usb-bot and usb-uas attach the mirrored enclosure alone as the USB disk
# it really is (bulk-only or USB Attached SCSI, on the generic kernel) and run the shorter
# tests/vm/usb-steps.sh; the bulk-only run goes without udev's daemon, so the program has only
# sysfs to tell the disk's bus.
set -euo pipefail

source_dir="" work="" rurctl="" read_loop="" plugin="" transport=virtio-scsi
while [ $# -gt 0 ]; do
  case "$1" in
    --source) source_dir=$2 ;;
    --work) work=$2 ;;
    --rurctl) rurctl=$2 ;;
    --read-loop) read_loop=$2 ;;
    --plugin) plugin=$2 ;;
    --transport) transport=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
skip() { echo "SKIPPED: $*"; exit 77; }
# mke2fs lives in sbin, which an ordinary user's PATH may leave out.
export PATH="$PATH:/usr/sbin:/sbin"
[ -n "$plugin" ] && [ -f "$plugin" ] || skip "the nbdkit plugin was not built (install nbdkit-plugin-dev)"
for tool in qemu-system-x86_64 nbdkit busybox cpio python3 mke2fs; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-vm-deps.sh)"
done

case "$transport" in
  virtio-scsi) flavour=virtio steps=guest-steps.sh drives="" udevd=yes run="$work/last-run" ;;
  usb-bot) flavour=usb steps=usb-steps.sh drives=1 udevd=no run="$work/last-run-usb-bot" ;;
  usb-uas) flavour=usb steps=usb-steps.sh drives=1 udevd=yes run="$work/last-run-usb-uas" ;;
  *) echo "unknown transport $transport" >&2; exit 2 ;;
esac

tools="$source_dir/tools/vm"
mkdir -p "$work"
status=0
parts=$("$tools/fetch-guest-parts.sh" "$work/guest-parts" "$flavour") || status=$?
[ "$status" -eq 0 ] || { [ "$status" -eq 77 ] && skip "no $flavour guest kernel"; exit "$status"; }
initramfs="$work/base-$transport.cpio"
"$tools/build-initramfs.sh" "$parts" "$initramfs" "$rurctl" "$read_loop" ||
  { status=$?; [ "$status" -eq 77 ] && skip "cannot build the initramfs"; exit "$status"; }

# Each run starts from nothing; the last run's folder stays for a look after a failure.
# The guest kernel names its SCSI disks as their probes finish, which now and then is out of their
# order on the bus; the steps name the disks (sda the plain disk), so such a boot is tried again.
for attempt in 1 2 3; do
  rm -rf "$run"
  mkdir -p "$run/files" "$run/state"
  python3 "$source_dir/tests/vm/make_vm_files.py" "$run"

  "$tools/run-guest.sh" --kernel "$parts" --initramfs "$initramfs" --plugin "$plugin" \
    --script "$source_dir/tests/vm/$steps" --files "$run/files" --out "$run" \
    --scenario "$source_dir/tests/vm/vm-host.json" --state "$run/state" --disk-image "$run/disk.img" \
    --transport "$transport" --drives "$drives" --udevd "$udevd" --timeout 600
  [ "$transport" = virtio-scsi ] || break
  if ! grep -q '^@@disk sda RODE' "$run/results.log" 2>/dev/null; then break; fi
  echo "sg_io_vm_test: the guest named its disks out of their bus order (attempt $attempt); booting it again" >&2
done

python3 "$source_dir/tests/vm/check_vm_run.py" "$run" "$transport"
