#!/usr/bin/env python3
"""Checks one run of the virtual-machine test (tests/vm/sg_io_vm_test.sh) and prints its figures.

    check_vm_run.py RUN_DIR [RURCTL_COMMANDS...]

Exits 1 with the list of what went wrong.
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "vm"))
import vm_report  # noqa: E402

ENCLOSURE = 1  # drive number, /dev/sdb in the guest
PLAIN_DISK = 0
RESPONSE_LBA = 17


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


def main() -> int:
    out = Path(sys.argv[1])
    run = vm_report.read_run(out)
    checks = Checks()
    check_guest(run, checks)
    check_disk(run, checks)
    check_queries(run, checks)
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
