#!/usr/bin/env bash
# The SG_IO path on a real kernel: boots a small virtual machine whose SCSI disks are the drives
# of tests/vm/vm-host.json (sda a plain disk, sdb an enclosure, served by the nbdkit plugin) and
# runs rurctl in it on the host's real devices; then checks what the guest printed and what the
# simulated enclosure went through. Exits 77 (skipped) when the machine cannot run it.
#
#   tests/vm/sg_io_vm_test.sh --source DIR --work DIR --rurctl FILE --plugin FILE
set -euo pipefail

source_dir="" work="" rurctl="" plugin=""
while [ $# -gt 0 ]; do
  case "$1" in
    --source) source_dir=$2 ;;
    --work) work=$2 ;;
    --rurctl) rurctl=$2 ;;
    --plugin) plugin=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
skip() { echo "SKIPPED: $*"; exit 77; }
[ -n "$plugin" ] && [ -f "$plugin" ] || skip "the nbdkit plugin was not built (install nbdkit-plugin-dev)"
for tool in qemu-system-x86_64 nbdkit busybox cpio python3 mke2fs; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-vm-deps.sh)"
done

tools="$source_dir/tools/vm"
mkdir -p "$work"
status=0
kernel=$("$tools/fetch-kernel.sh" "$work/kernel") || status=$?
[ "$status" -eq 0 ] || { [ "$status" -eq 77 ] && skip "no guest kernel"; exit "$status"; }
"$tools/build-initramfs.sh" "$kernel" "$rurctl" "$work/base.cpio" || { status=$?; [ "$status" -eq 77 ] && skip "cannot build the initramfs"; exit "$status"; }

# Each run starts from nothing; the last run's folder stays for a look after a failure.
run="$work/last-run"
rm -rf "$run"
mkdir -p "$run/files" "$run/state"
python3 "$source_dir/tests/vm/make_vm_files.py" "$run"

# Commands rurctl has today; the guest runs those.
commands=$("$rurctl" --help | awk '/^commands:/ {on=1; next} /^$/ {on=0} on {print $1}')
has() { grep -qx "$1" <<<"$commands"; }

{
  echo 'marker_disk=/dev/sdb'
  echo 'rur() { rurctl --data-dir /tmp/rur "$@"; }'
  echo 'step partitions cat /proc/partitions'
  echo 'step mount mount -t ext2 -o ro /dev/sdb1 /mnt'
  echo 'step mounted cat /mnt/volume.txt'
  has detect && echo 'step detect rur detect'
  has status && echo 'step status rur status'
  has status && echo 'step status-json rur status --json'
  has smart && echo 'step smart-hdd1 rur smart --device 1 --bay 1 --json'
  has smart && echo 'step smart-hdd2 rur smart --device 1 --bay 2 --json'
  has firmware && echo 'step firmware rur --verbose firmware /vm/firmware.bin --device 1'
  has firmware && has status && echo 'step status-after rur status --json'
  has firmware-backup && echo 'step backup rur firmware-backup /tmp/backup.bin --device 1 --length 8192'
  has firmware-backup && echo 'step backup-compare cmp /tmp/backup.bin /vm/firmware.bin'
  echo 'step query-members rur query 17 --drive 1'
  echo 'step query-plain rur query 10 --drive 0'
  # READ(10) and INQUIRY need no privilege on a descriptor opened for reading: a user who may
  # read the disk may talk to the enclosure.
  echo 'chmod o+r /dev/sdb; mkdir -p /etc; mkdir -m 0777 /tmp/user'
  echo 'echo "root:x:0:0::/:/bin/sh" > /etc/passwd; echo "rur:x:1000:1000::/tmp/user:/bin/sh" >> /etc/passwd'
  echo 'echo "root:x:0:" > /etc/group; echo "rur:x:1000:" >> /etc/group'
  echo 'step query-user su rur -s /bin/sh -c "id; rurctl --data-dir /tmp/user query 17 --drive 1"'
  echo 'step umount umount /mnt'
} > "$run/guest.sh"

"$tools/run-guest.sh" --kernel "$kernel" --initramfs "$work/base.cpio" --plugin "$plugin" \
  --script "$run/guest.sh" --files "$run/files" --out "$run" \
  --scenario "$source_dir/tests/vm/vm-host.json" --state "$run/state" --disk-image "$run/disk.img" \
  --timeout 600

python3 "$source_dir/tests/vm/check_vm_run.py" "$run" $commands
