#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Boots the test virtual machine with the drives of a scenario as its SCSI disks and runs a
# script in it. The drives are served by the simulated-enclosure nbdkit plugin over a Unix
# socket; the guest sees them as /dev/sda, /dev/sdb, ... in drive-number order and reaches them
# through its own kernel's SCSI stack, exactly as rurctl reaches an enclosure on a real host.
#
#   tools/vm/run-guest.sh --kernel DIR --initramfs FILE --plugin FILE --script FILE --out DIR
#                         [--scenario FILE] [--state DIR] [--disk-image FILE] [--files DIR]
#                         [--transport virtio-scsi|usb-bot|usb-uas] [--drives "N ..."]
#                         [--udevd yes|no] [--timeout SECONDS]
#
# --transport is how the disks reach the guest: on a virtio SCSI controller (the default), or each
# as a USB mass-storage device on an xHCI controller, bulk-only (usb-bot, the usb-storage driver)
# or USB Attached SCSI (usb-uas, the uas driver); the USB ones need the generic kernel. --drives
# attaches only the drives named (default: every drive plugged at start). --udevd no boots the
# guest without udev's daemon.
# --script is sourced by the guest's /init (which provides `step NAME COMMAND...`); --files are
# copied to /vm in the guest. OUT receives console.log (kernel), results.log (the script's
# output), requests.log (every NBD request with its time), trace.log (every request as the
# simulated drive saw it), scsi.log (every SCSI command the guest sent, as the hypervisor's disk
# emulation parsed it, READs with their LBA), drives.tsv and nbdkit.log. Exits 0 when the guest ran the script to
# its end, 1 otherwise, 77 when qemu or nbdkit is not installed.
set -euo pipefail

kernel="" initramfs="" plugin="" script="" out="" scenario="" state="" disk_image="" files="" timeout=300
transport=virtio-scsi drives="" udevd=yes
while [ $# -gt 0 ]; do
  case "$1" in
    --kernel) kernel=$2 ;;
    --initramfs) initramfs=$2 ;;
    --plugin) plugin=$2 ;;
    --script) script=$2 ;;
    --out) out=$2 ;;
    --scenario) scenario=$2 ;;
    --state) state=$2 ;;
    --disk-image) disk_image=$2 ;;
    --files) files=$2 ;;
    --timeout) timeout=$2 ;;
    --transport) transport=$2 ;;
    --drives) drives=$2 ;;
    --udevd) udevd=$2 ;;
    *) echo "run-guest: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
for required in kernel initramfs plugin script out; do
  [ -n "${!required}" ] || { echo "run-guest: --$required is required" >&2; exit 2; }
done
case "$transport" in
  virtio-scsi|usb-bot|usb-uas) ;;
  *) echo "run-guest: unknown transport $transport" >&2; exit 2 ;;
esac
command -v qemu-system-x86_64 >/dev/null || { echo "run-guest: qemu-system-x86_64 is not installed" >&2; exit 77; }
command -v nbdkit >/dev/null || { echo "run-guest: nbdkit is not installed" >&2; exit 77; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/{console,results,requests,trace,nbdkit,scsi}.log "$out/drives.tsv"
socket="$out/nbd.sock"
rm -f "$socket"

nbdkit_pid="" qemu_pid=""
cleanup() {
  # Only the two processes this script started, by their ids.
  if [ -n "$qemu_pid" ] && kill -0 "$qemu_pid" 2>/dev/null; then kill -KILL "$qemu_pid" 2>/dev/null || true; fi
  if [ -n "$nbdkit_pid" ] && kill -0 "$nbdkit_pid" 2>/dev/null; then
    kill -TERM "$nbdkit_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$nbdkit_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$nbdkit_pid" 2>/dev/null || true
  fi
  rm -f "$socket" "$out/initrd.cpio" "$out/run.cpio"
}
trap cleanup EXIT

plugin_args=("log=$out/requests.log" "trace=$out/trace.log" "info=$out/drives.tsv")
[ -n "$scenario" ] && plugin_args+=("scenario=$scenario")
[ -n "$state" ] && plugin_args+=("state=$state")
[ -n "$disk_image" ] && plugin_args+=("disk=$disk_image")
nbdkit --foreground --exit-with-parent --verbose --unix "$socket" "$plugin" "${plugin_args[@]}" \
  > "$out/nbdkit.log" 2>&1 &
nbdkit_pid=$!
for _ in $(seq 100); do
  [ -S "$socket" ] && break
  kill -0 "$nbdkit_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -S "$socket" ]; then
  echo "run-guest: nbdkit did not start:" >&2
  grep -v ': debug: ' "$out/nbdkit.log" >&2 || true
  exit 1
fi

# One SCSI disk per drive plugged at start, in drive-number order, each answering INQUIRY with
# the drive's own fields: the hypervisor answers INQUIRY, not the plugin. On USB each disk sits on
# the SCSI bus of its own mass-storage device, as behind an enclosure's USB bridge.
qemu_escape() { printf '%s' "${1//,/,,}"; }
case "$transport" in
  virtio-scsi) disk_args=(-device virtio-scsi-pci,id=scsi0) ;;
  *) disk_args=(-device qemu-xhci,id=xhci) ;;
esac
disks=0
while IFS=$'\t' read -r number kind plugged size vendor product revision; do
  [ "$plugged" = 1 ] || continue
  if [ -n "$drives" ] && [[ " $drives " != *" $number "* ]]; then continue; fi
  inquiry="vendor=$(qemu_escape "$vendor"),product=$(qemu_escape "$product"),ver=$(qemu_escape "$revision")"
  disk_args+=(-drive "file=nbd+unix:///$number?socket=$socket,format=raw,if=none,id=drive$number,cache=none")
  case "$transport" in
    virtio-scsi) disk_args+=(-device "scsi-hd,drive=drive$number,bus=scsi0.0,channel=0,scsi-id=$number,lun=0,$inquiry") ;;
    *) disk_args+=(-device "$transport,id=usb$number,bus=xhci.0"
                   -device "scsi-hd,drive=drive$number,bus=usb$number.0,scsi-id=0,lun=0,$inquiry") ;;
  esac
  disks=$((disks + 1))
done < <(sort -n "$out/drives.tsv")

# The run's own files go into a second archive, appended to the base one.
run_root=$(mktemp -d)
chmod 0755 "$run_root"
mkdir -p "$run_root/vm"
[ -n "$files" ] && cp -r "$files"/. "$run_root/vm/"
cp "$script" "$run_root/vm/run.sh"
(cd "$run_root" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet) > "$out/run.cpio"
rm -rf "$run_root"
cat "$initramfs" "$out/run.cpio" > "$out/initrd.cpio"

# Software emulation: KVM is not dependable on the machines this runs on.
qemu-system-x86_64 -accel tcg -nodefaults -no-user-config -display none -no-reboot \
  -m 512 -smp 1 -kernel "$kernel/vmlinuz" -initrd "$out/initrd.cpio" \
  -append "console=ttyS0 panic=-1 rurvm.disks=$disks rurvm.udevd=$udevd" \
  -serial "file:$out/console.log" -serial "file:$out/results.log" \
  -trace enable=scsi_req_parsed -trace enable=scsi_disk_dma_command_READ -D "$out/scsi.log" \
  "${disk_args[@]}" &
qemu_pid=$!

started=$SECONDS
while kill -0 "$qemu_pid" 2>/dev/null; do
  if [ $((SECONDS - started)) -ge "$timeout" ]; then
    echo "run-guest: the guest did not finish within $timeout s" >&2
    exit 1
  fi
  sleep 0.2
done
wait "$qemu_pid" || true
qemu_pid=""

# The guest is gone: nbdkit saves the enclosure state when its client leaves; stop it cleanly so
# the request log is complete.
kill -TERM "$nbdkit_pid" 2>/dev/null || true
wait "$nbdkit_pid" 2>/dev/null || true
nbdkit_pid=""

grep -q '^@@guest done' "$out/results.log" 2>/dev/null || {
  echo "run-guest: the guest did not complete its script; console:" >&2
  tail -n 30 "$out/console.log" >&2 || true
  exit 1
}
