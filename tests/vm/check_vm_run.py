#!/usr/bin/env python3
"""Checks one run of the virtual-machine test (tests/vm/sg_io_vm_test.sh) and prints its figures.

    check_vm_run.py RUN_DIR [RURCTL_COMMANDS...]

Exits 1 with the list of what went wrong.
"""
import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "vm"))
import vm_report  # noqa: E402

ENCLOSURE = 1  # drive number, /dev/sdb in the guest
PLAIN_DISK = 0
RESPONSE_LBA = 17
OLD_FIRMWARE = "140315.0"
NEW_FIRMWARE = "150203.0"  # the image make_vm_files.py writes
ERASED_END = 0x8000  # an 8 KiB image erases twice its extent of 16 KiB


class Checks:
    def __init__(self) -> None:
        self.failures: list[str] = []

    def expect(self, condition: bool, what: str) -> None:
        if not condition:
            self.failures.append(what)


def check_guest(run: vm_report.Run, checks: Checks) -> None:
    disks = [line for line in run.guest if line.startswith("@@disk ")]
    checks.expect(len(disks) == 2, f"the guest has two SCSI disks: {disks}")
    checks.expect(any(line.startswith("@@disk sdb RODE") for line in disks),
                  f"sdb answers INQUIRY as the enclosure's bridge: {disks}")
    for name, step in run.steps.items():
        checks.expect(step.status is not None, f"step {name} ran to its end")


def check_disk(run: vm_report.Run, checks: Checks) -> None:
    mounted = run.steps.get("mounted")
    checks.expect(mounted is not None and mounted.status == 0 and "RODE RUR test volume" in mounted.text(),
                  "the enclosure's partition mounts in the guest and reads back")
    checks.expect(all(r.op != "W" for r in run.requests), "no write reached the simulated disks")
    checks.expect(all(r.completed for r in run.requests), "every disk request completed")


def check_queries(run: vm_report.Run, checks: Checks) -> None:
    members = run.steps.get("query-members")
    checks.expect(members is not None and members.status == 0 and members.text().startswith("result 00")
                  and "__KELVARO4417C__" in members.text(), "QUERY_MEMBERS to drive 1 answers through SG_IO")
    user = run.steps.get("query-user")
    checks.expect(user is not None and user.status == 0 and "uid=1000" in user.text()
                  and "result 00" in user.text(),
                  "an unprivileged user with read access to the disk reaches the controller")
    plain = run.steps.get("query-plain")
    checks.expect(plain is not None and plain.status != 0 and "result F2" in plain.text(),
                  "a plain disk (drive 0) never answers a frame")
    if members is not None:
        reads = [r for r in members.requests if r.drive == ENCLOSURE]
        lbas = [r.lba for r in reads]
        checks.expect(lbas[:4] == [67, 113, 167, 223], f"the frame arrives in order at the disk: {lbas[:16]}")
        checks.expect(all(r.sectors == 1 for r in reads), "every read of a command is one sector")
        checks.expect(RESPONSE_LBA in lbas, "the answer is polled at LBA 17")


def step_json(run: vm_report.Run, name: str, checks: Checks):
    step = run.steps.get(name)
    if step is None or step.status != 0:
        checks.expect(False, f"step {name} succeeded")
        return None
    try:
        return json.loads(step.text())
    except json.JSONDecodeError as error:
        checks.expect(False, f"step {name} prints JSON: {error}")
        return None


def check_detection(run: vm_report.Run, checks: Checks, commands: set[str]) -> None:
    if "detect" in commands:
        detect = run.steps.get("detect")
        checks.expect(detect is not None and detect.status == 0 and "Device1 drive=1 " in detect.text()
                      and "drive=0" not in detect.text(),
                      "detection finds the enclosure on drive 1 (sdb) and not on the plain disk (sda)")
    if "status" not in commands:
        return
    status = run.steps.get("status")
    checks.expect(status is not None and "[sdb1]" in status.text(),
                  "the partition mounted in the guest shows as the device's volume")
    devices = step_json(run, "status-json", checks)
    if devices is None:
        return
    checks.expect(len(devices) == 1, f"one enclosure in the status: {devices}")
    device = devices[0] if devices else {}
    expected = {"drive": ENCLOSURE, "product": "RODE RUR Dual Bay RAID", "mode_text": "Mirroring(RAID1)",
                "array_state": "Normal", "firmware": OLD_FIRMWARE, "fan_rpm": 2650, "temperature": 37,
                "capacity_sectors": 1953525168}
    for key, value in expected.items():
        checks.expect(device.get(key) == value, f"status {key} is {value!r}, not {device.get(key)!r}")
    members = device.get("members", [])
    serials = [member.get("serial", "").strip() for member in members]
    checks.expect(serials == ["KD1A7Z0481", "KD1A7Z0533"], f"the members' serials: {serials}")
    checks.expect(all(member.get("state") == "present" for member in members), "both members present")


def check_smart(run: vm_report.Run, checks: Checks) -> None:
    for bay in (1, 2):
        grid = step_json(run, f"smart-hdd{bay}", checks)
        if grid is None:
            continue
        rows = grid.get("rows", [])
        checks.expect(grid.get("bay") == bay and "KESTREL KD1000SX" in grid.get("heading", ""),
                      f"the SMART grid of HDD{bay} names its disk: {grid.get('heading')!r}")
        checks.expect(len(rows) >= 10 and all(row.get("status") == "Good" for row in rows),
                      f"HDD{bay}'s attributes are read and graded good: {len(rows)} rows")


def check_firmware(run: vm_report.Run, out: Path, checks: Checks, commands: set[str]) -> None:
    upgrade = run.steps.get("firmware")
    checks.expect(upgrade is not None and upgrade.status == 0 and "SPI Verify OK" in upgrade.text()
                  and "Firmware Upgrade 3/3 completed!" in upgrade.text(),
                  "the upgrade erases, programs and verifies the flash")
    if "status" in commands:
        devices = step_json(run, "status-after", checks) or [{}]
        checks.expect(devices[0].get("firmware") == NEW_FIRMWARE,
                      f"the next detection reads the new version: {devices[0].get('firmware')!r}")
    if "firmware-backup" in commands:
        compare = run.steps.get("backup-compare")
        checks.expect(compare is not None and compare.status == 0, "the flash read back in the guest is the image")
    image = (out / "files" / "firmware.bin").read_bytes()
    flash_path = out / "state" / f"drive{ENCLOSURE}.flash"
    flash = flash_path.read_bytes() if flash_path.exists() else b""
    checks.expect(flash[:len(image)] == image, "the simulator's flash holds the image after the run")
    checks.expect(flash[len(image):ERASED_END] == b"\xff" * (ERASED_END - len(image)),
                  "the flash past the image is erased up to the erase extent")


def main() -> int:
    out = Path(sys.argv[1])
    run = vm_report.read_run(out)
    checks = Checks()
    check_guest(run, checks)
    check_disk(run, checks)
    check_queries(run, checks)
    commands = set(sys.argv[2:])
    check_detection(run, checks, commands)
    if "smart" in commands:
        check_smart(run, checks)
    if "firmware" in commands:
        check_firmware(run, out, checks, commands)
    trace = (out / "trace.log").read_text() if (out / "trace.log").exists() else ""
    checks.expect("REFUSED" not in trace, "the simulated drives refused no request")

    print(vm_report.report(run))
    print(f"guest: {' '.join(run.guest)}")
    if checks.failures:
        print("FAILED:\n  " + "\n  ".join(checks.failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
