#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks one run of the virtual-machine test (tests/vm/sg_io_vm_test.sh) and prints its figures.

    check_vm_run.py RUN_DIR [virtio-scsi|usb-bot|usb-uas]

virtio-scsi: the three drives on a virtio SCSI controller, steps in tests/vm/guest-steps.sh.
usb-bot, usb-uas: the mirrored enclosure alone as a USB disk, steps in tests/vm/usb-steps.sh.

Exits 1 with the list of what went wrong.
"""
import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "vm"))
import vm_report  # noqa: E402

MIRROR, STRIPE = 1, 2  # drive numbers: sdb and sdc in the guest; sda (0) is a plain disk
RESPONSE_LBA = 17
OLD_FIRMWARE = "140315.0"
NEW_FIRMWARE = "150203.0"  # the image make_vm_files.py writes
ERASED_END = 0x8000  # an 8 KiB image erases twice its extent of 16 KiB
# A controller without a product name is named from INQUIRY bytes 8..23: vendor and product.
STRIPE_NAME = "RODE    RUR STRI"
# The program's read path may cost a little more than a bare SG_IO loop, never much more; the
# figure itself is reported, this bound only catches a path that went wrong.
READ_LOOP_RATIO_LIMIT = 1.25
MIRROR_FIELDS = {"product": "RODE RUR Dual Bay RAID", "mode_text": "Mirroring(RAID1)", "array_state": "Normal",
                 "firmware": OLD_FIRMWARE, "fan_rpm": 2650, "temperature": 37, "capacity_sectors": 1953525168}
MIRROR_SERIALS = ["KD1A7Z0481", "KD1A7Z0533"]


class Checks:
    def __init__(self, run: vm_report.Run) -> None:
        self.run = run
        self.failures: list[str] = []

    def expect(self, condition: bool, what: str) -> None:
        if not condition:
            self.failures.append(what)

    def step(self, name: str) -> vm_report.Step:
        step = self.run.steps.get(name)
        self.expect(step is not None, f"step {name} ran")
        return step or vm_report.Step(name, -1, status=-1)

    def ok(self, name: str) -> vm_report.Step:
        step = self.step(name)
        self.expect(step.status == 0, f"step {name} succeeded (status {step.status})")
        return step

    def json(self, name: str):
        step = self.ok(name)
        try:
            return json.loads(step.text())
        except json.JSONDecodeError as error:
            self.expect(False, f"step {name} prints JSON: {error}")
            return None


def check_guest_and_disks(checks: Checks) -> None:
    run = checks.run
    disks = [line.split()[1] for line in run.guest if line.startswith("@@disk ")]
    checks.expect(disks == ["sda", "sdb", "sdc"], f"the guest has the three SCSI disks: {disks}")
    for name, step in run.steps.items():
        checks.expect(step.status is not None, f"step {name} ran to its end")
    checks.expect("RODE RUR test volume" in checks.ok("mounted").text(),
                  "the enclosure's partition mounts in the guest and reads back")
    check_no_writes(checks)


def check_status(checks: Checks) -> None:
    detect = checks.ok("detect").text().splitlines()
    checks.expect([line.split()[:2] for line in detect] == [["Device1", "drive=1"], ["Device2", "drive=2"]],
                  f"detection finds the enclosures on sdb and sdc, not on the plain sda: {detect}")
    for line in detect:
        drive = line.split()[1].split("=")[1]
        checks.expect(f" path=/dev/sd{'abc'[int(drive)]} " in line, f"detect names the device node: {line}")
    usb_only = checks.step("detect-usb-only")
    checks.expect(usb_only.status == 1 and "No Drive found!" in usb_only.text(),
                  "by default only USB disks are probed: none among the virtio disks")
    checks.expect("result 00" in checks.ok("query-by-path").text(), "query --drive /dev/sdb reaches the enclosure")
    checks.ok("smart-by-path")
    no_access = checks.step("detect-no-access")
    checks.expect(no_access.status == 1 and "cannot read /dev/sdb: permission denied" in no_access.text(),
                  f"a user without read access is told so: {no_access.text()!r}")
    status = checks.ok("status").text()
    checks.expect("Device1 (drive 1): RODE RUR Dual Bay RAID [sdb1]" in status,
                  "the partition mounted in the guest shows as Device1's volume")
    devices = checks.json("status-json") or []
    checks.expect(len(devices) == 2, f"two enclosures in the status: {len(devices)}")
    if len(devices) != 2:
        return
    mirror, stripe = devices
    expected = [(mirror, {"drive": MIRROR, **MIRROR_FIELDS}),
                (stripe, {"drive": STRIPE, "mode_text": "Striping(RAID0)", "capacity_sectors": 2 * 976773168})]
    for device, fields in expected:
        check_fields(checks, device, fields)
    checks.expect(stripe.get("product", "").strip() == STRIPE_NAME,
                  f"the nameless controller is named from INQUIRY: {stripe.get('product')!r}")
    check_members(checks, mirror)


def check_fields(checks: Checks, device: dict, fields: dict) -> None:
    for key, value in fields.items():
        checks.expect(device.get(key) == value, f"drive {device.get('drive')} {key} is {value!r}, "
                                                f"not {device.get(key)!r}")


def check_members(checks: Checks, mirror: dict) -> None:
    serials = [member.get("serial", "").strip() for member in mirror.get("members", [])]
    checks.expect(serials == MIRROR_SERIALS, f"the members' serials: {serials}")


def check_by_id(checks: Checks, disk: str) -> None:
    """With udev's daemon the enclosure has a /dev/disk/by-id name: detect shows it, --drive takes it."""
    if not any("udevd=yes" in line for line in checks.run.guest):
        return
    line = next((line for line in checks.ok("detect").text().splitlines() if line.startswith("Device1 ")), "")
    name = line.split(" id=")[1].split()[0] if " id=" in line else "-"
    checks.expect(name != "-", f"detect names the enclosure's by-id link: {line!r}")
    links = checks.ok("by-id").text()
    checks.expect(f" {name} -> ../../{disk}" in links, f"/dev/disk/by-id/{name} leads to {disk}: {links!r}")
    checks.expect("result 00" in checks.ok("query-by-id").text(), f"query --drive {name} reaches the enclosure")


def check_read_loop(checks: Checks) -> None:
    loop = vm_report.read_loop(checks.ok("read-loop"))
    checks.expect(loop is not None, "the read loop prints its medians")
    if loop:
        checks.expect(loop["ratio"] <= READ_LOOP_RATIO_LIMIT,
                      f"the program's read costs at most {READ_LOOP_RATIO_LIMIT} times a bare SG_IO read: {loop}")


def check_smart(checks: Checks) -> None:
    for bay in (1, 2):
        grid = checks.json(f"smart-hdd{bay}") or {}
        rows = grid.get("rows", [])
        checks.expect(grid.get("bay") == bay and "KESTREL KD1000SX" in grid.get("heading", ""),
                      f"the SMART grid of HDD{bay} names its disk: {grid.get('heading')!r}")
        checks.expect(len(rows) >= 10 and all(row.get("status") == "Good" for row in rows),
                      f"HDD{bay}'s attributes are read and graded good: {len(rows)} rows")


def check_firmware(checks: Checks, expected_versions: list[str] = [NEW_FIRMWARE, OLD_FIRMWARE]) -> None:
    upgrade = checks.ok("firmware").text()
    checks.expect("SPI Verify OK" in upgrade and "Firmware Upgrade 3/3 completed!" in upgrade,
                  "the upgrade erases, programs and verifies the flash")
    devices = checks.json("status-after") or []
    versions = [device.get("firmware") for device in devices]
    checks.expect(versions == expected_versions,
                  f"the next detection reads the new version on Device1 only: {versions}")
    check_flash(checks)
    if len(expected_versions) == 1:
        return
    checks.ok("backup-compare")
    untouched = (run_dir / "state" / f"drive{STRIPE}.flash").read_bytes()
    checks.expect(untouched[0x9C:0xA0] == bytes([0x14, 0x03, 0x15, 0x10]), "Device2's flash is untouched")


def check_flash(checks: Checks) -> None:
    image = (run_dir / "files" / "firmware.bin").read_bytes()
    flash = (run_dir / "state" / f"drive{MIRROR}.flash").read_bytes()
    checks.expect(flash[:len(image)] == image, "the simulator's flash holds the image after the run")
    checks.expect(flash[len(image):ERASED_END] == b"\xff" * (ERASED_END - len(image)),
                  "the flash past the image is erased up to the erase extent")


def check_frames(checks: Checks) -> None:
    members = checks.ok("query-members")
    checks.expect(members.text().startswith("result 00") and "__KELVARO4417C__" in members.text(),
                  "QUERY_MEMBERS to drive 1 answers through SG_IO")
    reads = [r for r in members.requests if r.drive == MIRROR]
    lbas = [r.lba for r in reads]
    checks.expect(lbas[:16] == [67, 113, 167, 223, 256, 260, 495, 511, 535, 719, 735, 751, 1158, 1032, 1024, 1175],
                  f"the frame reaches the disk read for read, in order: {lbas[:16]}")
    checks.expect(all(r.sectors == 1 for r in reads) and RESPONSE_LBA in lbas,
                  "every read of a command is one sector, and the answer is polled at LBA 17")
    plain = checks.step("query-plain")
    checks.expect(plain.status != 0 and "result F2" in plain.text(), "a plain disk (drive 0) never answers")
    user = checks.ok("query-user").text()
    checks.expect("uid=1000" in user and "result 00" in user,
                  "an unprivileged user with read access to the disk reaches the controller")
    outcomes = checks.ok("queries-while-read").output
    answered, unanswered = outcomes.count("query answered"), outcomes.count("query unanswered")
    checks.expect(answered + unanswered == 20 and answered > 0,
                  f"with another reader on the disk, queries are answered rightly or not at all: {outcomes[:40]}")
    buffered = checks.step("buffered-reads").requests
    checks.expect(len(buffered) >= 1 and all(r.sectors > 1 for r in buffered),
                  f"plain reads arrive as read-ahead, never as single sectors: {buffered}")


def check_device_change(checks: Checks) -> None:
    if not any("udevd=yes" in line for line in checks.run.guest):
        print("device change: skipped, the guest has no udev daemon")
        return
    log = checks.ok("device-change").text()
    removed = log.find("D1 Device was removed.")
    found = log.find("D1 New Device was found.")
    checks.expect(0 <= removed < found, "the monitor logs the enclosure leaving and coming back, in that order")
    checks.expect("Alarm: Device1 RAID system fail." in log, "the enclosure's removal raises the alarm")
    after = checks.ok("detect-after-change").text()
    checks.expect("Device1 drive=1 " in after, f"the enclosure is drive 1 again: {after!r}")


def check_no_writes(checks: Checks) -> None:
    checks.expect(all(r.op != "W" for r in checks.run.requests), "no write reached the simulated disks")
    trace = (run_dir / "trace.log").read_text()
    checks.expect("REFUSED" not in trace, "the simulated drives refused no request")


USB_DRIVERS = {"usb-bot": "usb-storage", "usb-uas": "uas"}


def check_usb(checks: Checks, transport: str) -> None:
    """The enclosure as a USB disk: the only disk, sda, found as USB without --all-disks."""
    run = checks.run
    disks = [line.split()[1] for line in run.guest if line.startswith("@@disk ")]
    checks.expect(disks == ["sda"], f"the guest has the one USB disk: {disks}")
    for name, step in run.steps.items():
        checks.expect(step.status is not None, f"step {name} ran to its end")
    driver = checks.ok("driver").text()
    checks.expect("/usb" in driver.splitlines()[0] if driver else False, f"sda sits on USB in sysfs: {driver!r}")
    checks.expect(f"driver={USB_DRIVERS[transport]}" in driver, f"the {USB_DRIVERS[transport]} driver has the disk")
    # The bulk-only run has no udev daemon: the program tells the bus from sysfs alone.
    udevd = "yes" if transport == "usb-uas" else "no"
    checks.expect(any(f"udevd={udevd}" in line for line in run.guest), f"the guest runs with udevd={udevd}")
    detect = checks.ok("detect").text().splitlines()
    checks.expect(len(detect) == 1 and detect[0].startswith("Device1 drive=0 ") and " path=/dev/sda " in detect[0],
                  f"detection finds the USB enclosure without --all-disks: {detect}")
    devices = checks.json("status-json") or []
    checks.expect(len(devices) == 1, f"one enclosure in the status: {len(devices)}")
    if devices:
        check_fields(checks, devices[0], {"drive": 0, **MIRROR_FIELDS})
        check_members(checks, devices[0])
    check_firmware(checks, [NEW_FIRMWARE])
    check_no_writes(checks)
    # What the USB drivers send of their own (TEST UNIT READY, READ CAPACITY, MODE SENSE, REQUEST
    # SENSE, the partition scan's reads) comes when the disk appears and goes, never in the middle
    # of the program's commands, where it could break a frame.
    for name in ("detect", "status-json", "smart-hdd1", "smart-hdd2", "firmware", "status-after"):
        extra = {op: n for op, n in run.other_commands.get(name, {}).items() if op != vm_report.OP_INQUIRY}
        checks.expect(not extra, f"only READ(10) and INQUIRY reach the disk during {name}: "
                                 f"{vm_report.command_names(extra)}")
        others = vm_report.others(checks.step(name).requests)
        checks.expect(not others, f"only the program's single-sector reads reach the disk during {name}: {others}")
    checks.expect(bool(run.other_commands), "the hypervisor traced the SCSI commands (scsi.log)")


def main() -> int:
    global run_dir
    run_dir = Path(sys.argv[1])
    transport = sys.argv[2] if len(sys.argv) > 2 else "virtio-scsi"
    run = vm_report.read_run(run_dir)
    checks = Checks(run)
    if transport == "virtio-scsi":
        for check in (check_guest_and_disks, check_status, check_smart, check_firmware, check_frames,
                      check_device_change, check_read_loop):
            check(checks)
        check_by_id(checks, "sdb")
    else:
        for check in (check_smart, check_read_loop):
            check(checks)
        check_usb(checks, transport)
        check_by_id(checks, "sda")

    print(vm_report.report(run))
    if transport == "virtio-scsi":
        meanwhile = checks.step("queries-while-read")
        others = sum(1 for r in meanwhile.requests if r.sectors > 1)
        print(f"queries while another reader used the disk ({others} reads of 4 KiB): "
              f"{meanwhile.output.count('query answered')} answered, {meanwhile.output.count('query unanswered')} not")
    print(" ".join(run.guest))
    if checks.failures:
        print("FAILED:\n  " + "\n  ".join(checks.failures))
        return 1
    print("all checks passed")
    return 0


run_dir = Path()

if __name__ == "__main__":
    sys.exit(main())
