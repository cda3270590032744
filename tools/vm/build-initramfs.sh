#!/usr/bin/env bash
# Builds the test virtual machine's base initramfs: busybox, the kernel modules of a virtio SCSI
# disk, rurctl with the shared libraries it loads, and the guest's /init.
#
#   tools/vm/build-initramfs.sh KERNEL_DIR RURCTL OUTPUT.cpio
#
# rurctl is copied as built (dynamically linked) together with every library ldd names, at the
# same paths, so the guest runs the very binary the host tests. A run adds its own files as a
# second archive appended to this one (the kernel unpacks both).
set -euo pipefail

kernel_dir="${1:?usage: build-initramfs.sh KERNEL_DIR RURCTL OUTPUT.cpio}"
rurctl="${2:?}"
output="${3:?}"
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

# Debug information is of no use in the guest and would triple the archive.
strip -o "$root/usr/bin/rurctl" "$rurctl" 2>/dev/null || cp "$rurctl" "$root/usr/bin/rurctl"
ldd "$rurctl" | awk '/=> \// {print $3} /^\s*\/[^ ]+ \(/ {print $1}' | sort -u | while read -r library; do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
# The loader is looked up by the path written into the binary.
interpreter=$(readelf -l "$rurctl" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')
if [ -n "$interpreter" ] && [ ! -e "$root$interpreter" ]; then
  mkdir -p "$root$(dirname "$interpreter")"
  cp -L "$interpreter" "$root$interpreter"
fi

mkdir -p "$(dirname "$output")"
(cd "$root" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet) > "$output.tmp"
mv "$output.tmp" "$output"
