#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fetches what the test virtual machine needs from Debian's packages into a cache folder, unpacked
# but not installed: the cloud kernel with the modules of a virtio SCSI disk, and udev's daemon
# (udevadm), which turns the guest kernel's device events into the notices the program listens to.
#
#   tools/vm/fetch-guest-parts.sh CACHE_DIR
#
# Prints the folder that holds vmlinuz, modules/*.ko and, when udev could be had, udev/udevadm.
# Exits 77 when no kernel can be had (no apt, no network, no such package), so a test can report
# itself skipped; without udev only the device-change part of the test is left out.
set -euo pipefail

cache="${1:?usage: fetch-guest-parts.sh CACHE_DIR}"
meta_package=linux-image-cloud-amd64
# Load order matters: each module needs the ones before it.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci
         scsi_common scsi_mod sd_mod sg virtio_scsi)

skip() { echo "fetch-guest-parts: $*" >&2; exit 77; }

command -v apt-cache >/dev/null && command -v dpkg-deb >/dev/null || skip "apt-cache and dpkg-deb are needed"

# The meta package names the current kernel package; its version is the folder name.
package=$(apt-cache depends "$meta_package" 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$package" ] || skip "no $meta_package in the package lists (run apt-get update)"
version=${package#linux-image-}
target="$cache/$version"

if [ -f "$target/vmlinuz" ] && [ -f "$target/modules/virtio_scsi.ko" ] && [ -e "$target/udev" ]; then
  echo "$target"
  exit 0
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt's download user must be able to write the folder it downloads into.
chmod 0777 "$work"
(cd "$work" && apt-get download -q "$package" >/dev/null 2>&1) || skip "apt-get download $package failed"
dpkg-deb -x "$work"/"$package"_*.deb "$work/root" || skip "cannot unpack $package"

mkdir -p "$work/out/modules"
cp "$work/root/boot/vmlinuz-$version" "$work/out/vmlinuz"
for module in "${modules[@]}"; do
  found=$(find "$work/root/lib/modules/$version" -name "$module.ko*" | head -n 1)
  [ -n "$found" ] || skip "module $module is not in $package"
  case "$found" in
    *.ko.xz) xz -dc "$found" > "$work/out/modules/$module.ko" ;;
    *.ko.zst) zstd -qdc "$found" > "$work/out/modules/$module.ko" ;;
    *) cp "$found" "$work/out/modules/$module.ko" ;;
  esac
done
printf '%s\n' "${modules[@]}" > "$work/out/modules/order"

# udev is optional: an empty folder records that it was tried.
mkdir -p "$work/out/udev" "$work/udev"
chmod 0777 "$work/udev"
if (cd "$work/udev" && apt-get download -q udev >/dev/null 2>&1) && dpkg-deb -x "$work"/udev/udev_*.deb "$work/udev/root"; then
  cp "$work/udev/root/bin/udevadm" "$work/out/udev/udevadm" 2>/dev/null ||
    cp "$work/udev/root/usr/bin/udevadm" "$work/out/udev/udevadm" 2>/dev/null || true
fi
rm -rf "$target"
mv "$work/out" "$target"
# Kernels of earlier package versions are of no more use.
find "$cache" -mindepth 1 -maxdepth 1 -type d ! -path "$target" ! -path "$work" -exec rm -rf {} +
echo "$target"
