#!/usr/bin/env bash
# Fetches Debian's cloud kernel for the test virtual machine into a cache folder, unpacked but not
# installed: the kernel image and the modules the guest needs for a virtio SCSI disk.
#
#   tools/vm/fetch-kernel.sh CACHE_DIR
#
# Prints the folder that holds vmlinuz and modules/*.ko. Exits 77 when no kernel can be had
# (no apt, no network, no such package), so a test can report itself skipped.
set -euo pipefail

cache="${1:?usage: fetch-kernel.sh CACHE_DIR}"
meta_package=linux-image-cloud-amd64
# Load order matters: each module needs the ones before it.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci
         scsi_common scsi_mod sd_mod sg virtio_scsi)

skip() { echo "fetch-kernel: $*" >&2; exit 77; }

command -v apt-cache >/dev/null && command -v dpkg-deb >/dev/null || skip "apt-cache and dpkg-deb are needed"

# The meta package names the current kernel package; its version is the folder name.
package=$(apt-cache depends "$meta_package" 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$package" ] || skip "no $meta_package in the package lists (run apt-get update)"
version=${package#linux-image-}
target="$cache/$version"

if [ -f "$target/vmlinuz" ] && [ -f "$target/modules/virtio_scsi.ko" ]; then
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
rm -rf "$target"
mv "$work/out" "$target"
echo "$target"
