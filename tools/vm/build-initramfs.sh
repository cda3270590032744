#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the test virtual machine's base initramfs: busybox, the kernel modules of the guest's
# disks, udev's daemon with its persistent-storage rules when it was fetched, the programs the
# guest runs (rurctl, rur-sg-read-loop) with the shared libraries they load, and the guest's /init.
#
#   tools/vm/build-initramfs.sh GUEST_PARTS_DIR OUTPUT.cpio PROGRAM...
#
# GUEST_PARTS_DIR is what tools/vm/fetch-guest-parts.sh printed. Each PROGRAM (and udevadm) is
# copied as built, dynamically linked, to /usr/bin under its own name, together with every library
# ldd names at the same paths, so the guest runs the very binary the host tests. A run adds its
# own files as a second archive appended to this one (the kernel unpacks both).
set -euo pipefail

kernel_dir="${1:?usage: build-initramfs.sh GUEST_PARTS_DIR OUTPUT.cpio PROGRAM...}"
output="${2:?}"
shift 2
here="$(cd "$(dirname "$0")" && pwd)"

busybox=$(command -v busybox || true)
[ -n "$busybox" ] || { echo "build-initramfs: busybox is not installed (busybox-static)" >&2; exit 77; }
command -v cpio >/dev/null || { echo "build-initramfs: cpio is not installed" >&2; exit 77; }
if ldd "$busybox" >/dev/null 2>&1; then
  echo "build-initramfs: $busybox is not static; install busybox-static" >&2
  exit 77
fi

root=$(mktemp -d)
chmod 0755 "$root"  # the guest's /: an unprivileged user must be able to reach /bin
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,sbin,dev,proc,sys,tmp,mnt,run,vm,lib/modules,usr/bin}
cp "$busybox" "$root/bin/busybox"
cp "$here/guest-init" "$root/init"
chmod 0755 "$root/init"
cp "$kernel_dir"/modules/*.ko "$kernel_dir/modules/order" "$root/lib/modules/"

# Copies a dynamically linked program and every library it loads; false when one is missing.
copy_program() {
  local program=$1 target=$2 libraries
  libraries=$(ldd "$program") || return 1
  if grep -q 'not found' <<<"$libraries"; then return 1; fi
  mkdir -p "$root$(dirname "$target")"
  # Debug information is of no use in the guest and would triple the archive.
  strip -o "$root$target" "$program" 2>/dev/null || cp "$program" "$root$target"
  awk '/=> \// {print $3} /^\s*\/[^ ]+ \(/ {print $1}' <<<"$libraries" | sort -u | while read -r library; do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
  # The loader is looked up by the path written into the binary.
  local interpreter
  interpreter=$(readelf -l "$program" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')
  if [ -n "$interpreter" ] && [ ! -e "$root$interpreter" ]; then
    mkdir -p "$root$(dirname "$interpreter")"
    cp -L "$interpreter" "$root$interpreter"
  fi
}

for program in "$@"; do
  copy_program "$program" "/usr/bin/${program##*/}" ||
    { echo "build-initramfs: cannot copy $program and its libraries" >&2; exit 1; }
done
# udevd is udevadm called by that name.
if [ -x "$kernel_dir/udev/udevadm" ] && copy_program "$kernel_dir/udev/udevadm" /sbin/udevadm; then
  mkdir -p "$root/lib/systemd" "$root/etc/udev/rules.d" "$root/lib/udev/rules.d" "$root/run/udev"
  ln -s /sbin/udevadm "$root/lib/systemd/systemd-udevd"
  if [ -f "$kernel_dir/udev/60-persistent-storage.rules" ] && copy_program "$kernel_dir/udev/scsi_id" /lib/udev/scsi_id; then
    cp "$kernel_dir/udev/60-persistent-storage.rules" "$root/lib/udev/rules.d/"
  fi
fi

mkdir -p "$(dirname "$output")"
(cd "$root" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet) > "$output.tmp"
mv "$output.tmp" "$output"
