#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fetches what the test virtual machine needs from Debian's packages into a cache folder, unpacked
# but not installed: a kernel with the modules of the guest's disks, and udev's daemon (udevadm)
# with its persistent-storage rules and scsi_id, which turn the guest kernel's device events into
# the notices the program listens to and the /dev/disk/by-id names it shows.
#
#   tools/vm/fetch-guest-parts.sh CACHE_DIR [virtio|usb]
#
# virtio (the default): Debian's cloud kernel, whose modules reach a virtio SCSI disk.
# usb: the generic kernel (the cloud one has no USB at all), with xhci, usb-storage and uas.
# Prints the folder that holds vmlinuz, modules/*.ko with modules/order (each module after those it
# needs) and, when udev could be had, udev/udevadm. Exits 77 when no kernel can be had (no apt, no
# network, no such package), so a test can report itself skipped; without udev only the parts of
# the test that need it are left out.
set -euo pipefail

cache="${1:?usage: fetch-guest-parts.sh CACHE_DIR [virtio|usb]}"
flavour="${2:-virtio}"
case "$flavour" in
  virtio) meta_package=linux-image-cloud-amd64
          wanted=(virtio_pci scsi_common scsi_mod sd_mod sg virtio_scsi) ;;
  usb) meta_package=linux-image-amd64
       wanted=(xhci-pci usb-storage uas sd_mod sg) ;;
  *) echo "fetch-guest-parts: unknown flavour $flavour" >&2; exit 2 ;;
esac

skip() { echo "fetch-guest-parts: $*" >&2; exit 77; }

command -v apt-cache >/dev/null && command -v dpkg-deb >/dev/null || skip "apt-cache and dpkg-deb are needed"

# The meta package names the current kernel package; its version is the folder name.
package=$(apt-cache depends "$meta_package" 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$package" ] || skip "no $meta_package in the package lists (run apt-get update)"
version=${package#linux-image-}
# One folder per flavour; a kernel kept straight in the cache folder is of an older layout.
find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name virtio ! -name usb -exec rm -rf {} + 2>/dev/null || true
cache="$cache/$flavour"
target="$cache/$version"

if [ -f "$target/vmlinuz" ] && [ -s "$target/modules/order" ] && [ -e "$target/udev" ]; then
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

# The package has no modules.dep (depmod makes it on installation): each module's own list of the
# modules it needs ("depends=" in its .modinfo section) gives the load order.
declare -A module_file=()
while IFS= read -r file; do
  name=${file##*/}
  name=${name%%.ko*}
  module_file[${name//-/_}]=$file
done < <(find "$work/root/lib/modules/$version" -name '*.ko*')
order=()
declare -A placed=()
place() {
  local key=${1//-/_} file depends dependency
  [ -n "${placed[$key]:-}" ] && return 0
  file=${module_file[$key]:-}
  [ -n "$file" ] || skip "module $1 is not in $package"
  case "$file" in
    *.ko.xz) xz -dc "$file" > "$work/out/modules/$key.ko" ;;
    *.ko.zst) zstd -qdc "$file" > "$work/out/modules/$key.ko" ;;
    *) cp "$file" "$work/out/modules/$key.ko" ;;
  esac
  placed[$key]=1
  depends=$(tr '\0' '\n' < "$work/out/modules/$key.ko" | sed -n 's/^depends=//p' | head -n 1)
  for dependency in ${depends//,/ }; do place "$dependency"; done
  order+=("$key")
}
for module in "${wanted[@]}"; do place "$module"; done
printf '%s\n' "${order[@]}" > "$work/out/modules/order"

# udev is optional: an empty folder records that it was tried. The persistent-storage rules name
# the disks in /dev/disk/by-id; scsi_id asks a SCSI disk for its serial with INQUIRY.
mkdir -p "$work/out/udev" "$work/udev"
chmod 0777 "$work/udev"
if (cd "$work/udev" && apt-get download -q udev >/dev/null 2>&1) && dpkg-deb -x "$work"/udev/udev_*.deb "$work/udev/root"; then
  for folder in "$work/udev/root/bin" "$work/udev/root/usr/bin"; do
    [ -f "$folder/udevadm" ] && cp "$folder/udevadm" "$work/out/udev/udevadm" && break
  done
  for folder in "$work/udev/root/lib/udev" "$work/udev/root/usr/lib/udev"; do
    if [ -f "$folder/scsi_id" ] && [ -f "$folder/rules.d/60-persistent-storage.rules" ]; then
      cp "$folder/scsi_id" "$folder/rules.d/60-persistent-storage.rules" "$work/out/udev/"
      break
    fi
  done
fi
rm -rf "$target"
mv "$work/out" "$target"
# Kernels of earlier package versions are of no more use.
find "$cache" -mindepth 1 -maxdepth 1 -type d ! -path "$target" ! -path "$work" -exec rm -rf {} +
echo "$target"
