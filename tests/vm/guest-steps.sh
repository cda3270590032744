# SPDX-License-Identifier: GPL-3.0-or-later
# The steps the virtual-machine test runs in the guest (sourced by the guest's /init, which
# provides `step NAME COMMAND...` and $udevd). The disks: sda a plain disk (drive 0), sdb the
# mirrored enclosure (drive 1) with a partition, sdc the striped enclosure (drive 2). They sit on
# virtio-scsi, not on USB, so detection is told to look at every disk (--all-disks).
# tests/vm/check_vm_run.py checks the results on the host.

marker_disk=/dev/sdb
rur() { rurctl --data-dir /tmp/rur --all-disks "$@"; }

step partitions cat /proc/partitions
step mount mount -t ext2 -o ro /dev/sdb1 /mnt
step mounted cat /mnt/volume.txt

step detect-usb-only rurctl --data-dir /tmp/rur detect
detect_saved() { rur detect > /tmp/detect.txt; result=$?; cat /tmp/detect.txt; return $result; }
step detect detect_saved
step query-by-path rurctl --data-dir /tmp/rur query 11 --drive /dev/sdb
# udev's persistent-storage rules name the disks in /dev/disk/by-id; detect shows the name and
# --drive takes it.
if [ "$udevd" = yes ]; then
  step by-id ls -l /dev/disk/by-id
  step query-by-id rurctl --data-dir /tmp/rur query 11 --drive "$(sed -n 's/^Device1 .* id=\([^ ]*\).*/\1/p' /tmp/detect.txt)"
fi
step smart-by-path rurctl --data-dir /tmp/rur smart --drive /dev/sdc --bay 1 --json
step status rur status
step status-json rur status --json
step smart-hdd1 rur smart --device 1 --bay 1 --json
step smart-hdd2 rur smart --device 1 --bay 2 --json
# The 8 KiB image is much shorter than the firmware the flash holds: --force says that is meant.
step firmware rur --verbose firmware /vm/firmware.bin --device 1 --yes --force
step status-after rur status --json
step backup rur firmware-backup /tmp/backup.bin --device 1 --length 8192
step backup-compare cmp /tmp/backup.bin /vm/firmware.bin
# The program's read path against a bare SG_IO loop, on a sector below the markers that no
# command uses.
step read-loop rur-sg-read-loop /dev/sdb --lba 1900000

# Another reader of the disk meanwhile: its multi-sector reads break the frames they fall into.
# A broken frame may cost an answer, never give a wrong one.
read_meanwhile() {
  touch /tmp/reading
  i=0
  while [ -e /tmp/reading ]; do
    dd if=/dev/sdb of=/dev/null bs=4096 count=1 skip=$((3000 + i)) iflag=direct 2>/dev/null
    i=$((i + 1))
    usleep 20000
  done
}
queries_while_read() {
  rur query 10 --drive 1 > /tmp/query.quiet
  read_meanwhile &
  reader=$!
  n=0
  while [ $n -lt 20 ]; do
    rur query 10 --drive 1 > "/tmp/query.$n"
    n=$((n + 1))
  done
  rm -f /tmp/reading
  wait "$reader"
  for answer in /tmp/query.[0-9]*; do
    if cmp -s "$answer" /tmp/query.quiet; then echo "query answered"
    elif grep -q '^result F2' "$answer"; then echo "query unanswered"
    else echo "query answered wrongly:"; cat "$answer"
    fi
  done
}
step queries-while-read queries_while_read

step query-members rur query 17 --drive 1
step query-plain rur query 10 --drive 0
# Plain reads go through the page cache and arrive as read-ahead: never a frame.
step buffered-reads sh -c 'for i in 1 2; do dd if=/dev/sdb of=/dev/null bs=512 skip=67 count=1 2>/dev/null; done'

# READ(10) and INQUIRY need no privilege on a descriptor opened for reading: a user who may
# read the disk may talk to the enclosure.
chmod o+r /dev/sdb
mkdir -p /etc
# The data folder must belong to its user and be closed to others, as the program checks.
mkdir -m 0700 /tmp/user && chown 1000:1000 /tmp/user
printf 'root:x:0:0::/:/bin/sh\nrur:x:1000:1000::/tmp/user:/bin/sh\n' > /etc/passwd
printf 'root:x:0:\nrur:x:1000:\n' > /etc/group
step query-user su rur -s /bin/sh -c "id; rurctl --data-dir /tmp/user query 17 --drive 1"
# Without read access the user is told which disk and why, not only that nothing was found.
chmod o-r /dev/sdb
step detect-no-access su rur -s /bin/sh -c "rurctl --data-dir /tmp/user --all-disks detect"
chmod o+r /dev/sdb

step umount umount /mnt

# Device changes through the kernel and udev: the mirrored enclosure leaves the SCSI bus and
# comes back while the monitor runs. Each change waits for the monitor's answer to the last one,
# so a slow guest only takes longer.
wait_for_log() {
  tries=0
  until grep -q "$1" /tmp/monitor.log; do
    [ "$tries" -ge 600 ] && { echo "no \"$1\" within 60 s"; return 1; }
    usleep 100000
    tries=$((tries + 1))
  done
  echo "\"$1\" after $((tries / 10)).$((tries % 10)) s"
}
device_change() {
  rurctl --data-dir /tmp/rur --all-disks monitor > /tmp/monitor.log 2>&1 &
  monitor=$!
  wait_for_log "has started" &&
    echo 1 > /sys/block/sdb/device/delete &&
    wait_for_log "D1 Device was removed" &&
    echo "- - -" > /sys/class/scsi_host/host0/scan &&
    wait_for_log "D1 New Device was found"
  result=$?
  kill -TERM "$monitor"
  wait "$monitor" || result=$?
  cat /tmp/monitor.log
  return "$result"
}
if [ "$udevd" = yes ]; then
  step device-change device_change
  step detect-after-change rur detect
fi
