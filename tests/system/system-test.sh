#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The product as a Debian user installs it: a bookworm guest made with mmdebstrap from Debian's
# packages (systemd, dbus, polkitd, udev, sudo, Cockpit, a kernel with USB storage) with the
# previous build's packages installed by apt, booted under qemu with systemd as PID 1. In it,
# tests/system/journey.sh upgrades to this build's packages (built by the package check into
# build/packages) and walks a user's journey through them; tests/system/host_driver.py boots it,
# serves the simulated enclosure as its USB disk and a mail sink, and checks what came out.
#   system-test.sh --source DIR --work DIR --packages DIR --plugin FILE
# Exits 77 (skipped) with the reason where the guest cannot be had: not root (the guest's files
# must belong to its users), a tool missing, or the previous build not in this clone.
set -euo pipefail

# The build the journey upgrades from: the packages as they were before the service ran as root.
previous=5359b317c966163975e4e72480b767ecf05e51fe
# What the guest is made of, besides the packages and what they need.
guest_packages=systemd-sysv,dbus,polkitd,udev,kmod,linux-image-amd64,initramfs-tools,sudo,procps,cockpit-ws,cockpit-bridge
admin_password=rur-admin-7

source_dir="" work="" packages="" plugin=""
while [ $# -gt 0 ]; do
  case "$1" in
    --source) source_dir=$2 ;;
    --work) work=$2 ;;
    --packages) packages=$2 ;;
    --plugin) plugin=$2 ;;
    *) echo "system-test: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "system-test: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || skip "the guest's root file system is made as root (mmdebstrap, file owners)"
for tool in mmdebstrap qemu-system-x86_64 nbdkit mke2fs dpkg-buildpackage chromium chromedriver; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -n "$plugin" ] && [ -f "$plugin" ] || skip "the simulated enclosure's nbdkit plugin was not built (nbdkit-plugin-dev)"
python=/usr/bin/python3
"$python" -c "import selenium, aiosmtpd" 2>/dev/null || skip "python3-selenium or python3-aiosmtpd is not installed"
current=()
for package in rode-rur-daemon rode-rur cockpit-rode-rur; do
  deb=$(ls "$packages/${package}"_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "no package $package in $packages (the package check builds them)"
  current+=("$deb")
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
timer=$SECONDS
phase() { echo "[$((SECONDS - timer)) s] $*"; }

# The previous build's packages, built once into the work folder.
previous_dir=$work/previous-${previous:0:12}
if ! ls "$previous_dir"/rode-rur-daemon_*.deb >/dev/null 2>&1; then
  git -C "$source_dir" cat-file -e "$previous^{commit}" 2>/dev/null ||
    skip "the previous build ($previous) is not in this clone"
  phase "building the previous build's packages"
  rm -rf "$previous_dir"
  mkdir -p "$previous_dir/rode-rur"
  git -C "$source_dir" archive "$previous" | tar -x -C "$previous_dir/rode-rur"
  "$source_dir/scripts/build-packages.sh" "$previous_dir/rode-rur" "$previous_dir/build.log"
  rm -rf "$previous_dir/rode-rur"
fi
previous_debs=("$previous_dir"/rode-rur-daemon_*.deb "$previous_dir"/rode-rur_*.deb "$previous_dir"/cockpit-rode-rur_*.deb)

# The guest's root file system from Debian's packages, with what the product's packages need,
# made once for these inputs.
needed=$(for deb in "${previous_debs[@]}" "${current[@]}"; do dpkg-deb --field "$deb" Depends; done |
         tr ',' '\n' | sed 's/|.*//; s/(.*//; s/ //g' | grep -v '^rode-rur' | grep -v '^$' | sort -u | paste -sd, -)
key=$(echo "$guest_packages,$needed" | sha256sum | cut -c1-16)
rootfs=$work/rootfs-$key.tar
if [ ! -s "$rootfs" ]; then
  phase "making the guest's root file system (mmdebstrap)"
  rm -f "$work"/rootfs-*.tar
  mmdebstrap --quiet --variant=minbase --include="$guest_packages,$needed" bookworm "$rootfs.part" \
    >"$work/mmdebstrap.log" 2>&1 || { tail -n 30 "$work/mmdebstrap.log"; fail "mmdebstrap failed"; }
  mv "$rootfs.part" "$rootfs"
fi

phase "making the guest's disk"
root=$work/guest-root
rm -rf "$root"
mkdir -p "$root"
tar -xf "$rootfs" -C "$root"
# The previous build as it was installed, with its maintainer scripts run for the guest's root
# (its user created, its service enabled); this build's packages go in later, by apt in the guest.
dpkg --root="$root" --force-script-chrootless --log=/dev/null -i "${previous_debs[@]}" >"$work/previous-install.log" 2>&1 ||
  { cat "$work/previous-install.log"; fail "the previous build's packages could not be installed in the guest"; }
echo rur-guest >"$root/etc/hostname"
printf '127.0.0.1 localhost\n127.0.1.1 rur-guest\n' >"$root/etc/hosts"
echo "/dev/vda / ext4 rw,errors=remount-ro 0 1" >"$root/etc/fstab"
# qemu's user network: the guest is 10.0.2.15 and finds the host at 10.0.2.2.
cat >"$root/etc/systemd/network/10-guest.network" <<'EOF'
[Match]
Name=e*
[Network]
Address=10.0.2.15/24
Gateway=10.0.2.2
EOF
# Online as soon as the one link is: the guest has nothing else to wait for.
mkdir -p "$root/etc/systemd/system/systemd-networkd-wait-online.service.d"
printf '[Service]\nExecStart=\nExecStart=/lib/systemd/systemd-networkd-wait-online --any --timeout=60\n' \
  >"$root/etc/systemd/system/systemd-networkd-wait-online.service.d/any.conf"
chroot "$root" useradd --create-home --shell /bin/bash alice
chroot "$root" useradd --create-home --shell /bin/bash --groups sudo "admin"
echo "admin:$admin_password" | chroot "$root" chpasswd
mkdir -p "$root/vm/current"
cp "${current[@]}" "$root/vm/current/"
cp "$source_dir/tests/system/journey.sh" "$root/vm/journey.sh"
echo "$admin_password" >"$root/vm/admin-password"
chmod 0600 "$root/vm/admin-password"
"$python" - "$source_dir/tests/vm" "$root/vm" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
from make_vm_files import firmware_image
open(sys.argv[2] + "/firmware-small.bin", "wb").write(firmware_image(8192, 0x15020310))
open(sys.argv[2] + "/firmware-large.bin", "wb").write(firmware_image(65536, 0x16010310))
EOF
cat >"$root/etc/systemd/system/rur-journey.service" <<'EOF'
[Unit]
Description=A user's journey through RODE RUR
Wants=network-online.target
After=network-online.target rode-rur.service
[Service]
Type=oneshot
ExecStart=/bin/bash /vm/journey.sh
TimeoutStartSec=infinity
[Install]
WantedBy=multi-user.target
EOF
systemctl --root="$root" enable systemd-networkd.service rur-journey.service >/dev/null 2>&1
# Nothing of the guest goes looking for the network on its own.
systemctl --root="$root" mask apt-daily.timer apt-daily-upgrade.timer >/dev/null 2>&1 || true
disk=$work/disk.img
rm -f "$disk"
mke2fs -q -t ext4 -L rur-guest -d "$root" "$disk" 4G
cp "$(ls "$root"/boot/vmlinuz-* | head -n 1)" "$work/vmlinuz"
cp "$(ls "$root"/boot/initrd.img-* | head -n 1)" "$work/initrd.img"
rm -rf "$root"

phase "booting the guest"
"$python" "$source_dir/tests/system/host_driver.py" --kernel "$work/vmlinuz" --initrd "$work/initrd.img" --disk "$disk" \
  --plugin "$plugin" --scenario "$source_dir/tests/system/system-host.json" --out "$work/last-run" \
  --sink "$source_dir/tests/notify/smtp_sink.py" --admin-password "$admin_password" && result=0 || result=$?
phase "done"
rm -f "$disk"
exit $result
