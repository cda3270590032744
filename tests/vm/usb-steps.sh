# SPDX-License-Identifier: GPL-3.0-or-later
# The steps of the shorter virtual-machine runs that attach the mirrored enclosure as a USB disk
# (sourced by the guest's /init, which provides `step NAME COMMAND...` and $udevd). The enclosure
# is the guest's only disk, sda, on the USB mass-storage driver (usb-storage or uas); detection
# must find it as a USB disk without being told to look at every disk, from udev's properties or,
# where no udev daemon runs, from the disk's place in sysfs. tests/vm/check_vm_run.py checks them.

marker_disk=/dev/sda
rur() { rurctl --data-dir /tmp/rur "$@"; }

# Which driver took the USB device's interface, and where the disk sits in sysfs.
drivers() {
  readlink -f /sys/block/sda
  for interface in /sys/bus/usb/devices/*:*; do
    [ -e "$interface/driver" ] && echo "${interface##*/} driver=$(basename "$(readlink "$interface/driver")")"
  done
}
step driver drivers
step partitions cat /proc/partitions
detect_saved() { rur detect > /tmp/detect.txt; result=$?; cat /tmp/detect.txt; return $result; }
step detect detect_saved
# With udev's daemon the disk has a /dev/disk/by-id name, and --drive takes it.
if [ "$udevd" = yes ]; then
  step by-id ls -l /dev/disk/by-id
  step query-by-id rur query 11 --drive "$(sed -n 's/.* id=\([^ ]*\).*/\1/p' /tmp/detect.txt | head -n 1)"
fi
step status-json rur status --json
step smart-hdd1 rur smart --device 1 --bay 1 --json
step smart-hdd2 rur smart --device 1 --bay 2 --json
# The 8 KiB image is much shorter than the firmware the flash holds: --force says that is meant.
step firmware rur --verbose firmware /vm/firmware.bin --device 1 --yes --force
step status-after rur status --json
step read-loop rur-sg-read-loop /dev/sda --lba 1900000
