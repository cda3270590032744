#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a test virtual machine's run (tools/vm/run-guest.sh output folder): the guest's steps
with their output, and the disk requests each step caused, with counts and times.

    tools/vm/vm_report.py OUT_DIR        prints one line of figures per step, the reads the
                                         guest's kernel and udev made of their own, and the
                                         read loop's medians (tools/vm/sg_read_loop.cpp)

The guest reads one marker sector before each step (at 2000000 + 8 x step number on the
enclosure's disk); the requests between two markers belong to the step that follows the first.
"""
import statistics
import sys
from dataclasses import dataclass, field
from pathlib import Path

MARKER_BASE = 2_000_000
MARKER_STRIDE = 8
FRAME_START_LBA = 67
RESPONSE_LBA = 17


@dataclass
class Request:
    at_us: int
    took_us: int
    op: str
    drive: int
    lba: int
    sectors: int
    completed: bool


@dataclass
class Step:
    name: str
    marker: int
    status: int | None = None
    ms: int | None = None
    output: list[str] = field(default_factory=list)
    requests: list[Request] = field(default_factory=list)

    def text(self) -> str:
        return "\n".join(self.output)


@dataclass
class Run:
    steps: dict[str, Step]
    guest: list[str]
    before_steps: list[Request]
    requests: list[Request]
    # SCSI commands other than READ(10), by the step they came in ("(boot)" before the first, and
    # "(end)" after the last): operation code -> count. Empty when the run has no scsi.log.
    other_commands: dict[str, dict[int, int]] = field(default_factory=dict)


OP_READ10 = 0x28
OP_INQUIRY = 0x12
OPERATION_NAMES = {0x00: "TEST UNIT READY", 0x03: "REQUEST SENSE", 0x12: "INQUIRY", 0x1A: "MODE SENSE(6)",
                   0x1E: "PREVENT ALLOW MEDIUM REMOVAL", 0x25: "READ CAPACITY(10)", 0x28: "READ(10)",
                   0x35: "SYNCHRONIZE CACHE(10)", 0x5A: "MODE SENSE(10)", 0x9E: "READ CAPACITY(16)",
                   0xA0: "REPORT LUNS", 0xA3: "MAINTENANCE IN", 0x85: "ATA PASS-THROUGH(16)", 0xA1: "ATA PASS-THROUGH(12)"}


def read_requests(path: Path) -> list[Request]:
    requests = []
    for line in path.read_text().splitlines():
        if not line or line.startswith("#"):
            continue
        at, took, op, drive, lba, sectors, completed = line.split()
        requests.append(Request(int(at), int(took), op, int(drive), int(lba), int(sectors), completed == "1"))
    return requests


def marker_of(request: Request) -> int | None:
    if request.op != "R" or request.sectors != 1 or request.lba < MARKER_BASE:
        return None
    offset = request.lba - MARKER_BASE
    return offset // MARKER_STRIDE if offset % MARKER_STRIDE == 0 else None


def read_run(out: Path) -> Run:
    steps: dict[str, Step] = {}
    guest: list[str] = []
    current: Step | None = None
    for line in (out / "results.log").read_text(errors="replace").splitlines():
        line = line.rstrip("\r")
        if line.startswith("@@begin "):
            words = line.split()
            current = Step(words[1], int(words[2].split("=")[1]))
            steps[current.name] = current
        elif line.startswith("@@end ") and current is not None:
            fields = dict(word.split("=", 1) for word in line.split()[2:])
            current.status = int(fields["status"])
            current.ms = int(fields["ms"])
            current = None
        elif current is not None:
            current.output.append(line)
        elif line.startswith("@@"):
            guest.append(line)

    requests = read_requests(out / "requests.log") if (out / "requests.log").exists() else []
    by_marker = {step.marker: step for step in steps.values()}
    before: list[Request] = []
    target: list[Request] | None = before
    for request in requests:
        marker = marker_of(request)
        if marker is not None:
            step = by_marker.get(marker)
            target = step.requests if step else None
            continue
        if target is not None:
            target.append(request)
    run = Run(steps, guest, before, requests)
    if (out / "scsi.log").exists():
        run.other_commands = read_scsi_log(out / "scsi.log", by_marker)
    return run


def read_scsi_log(path: Path, by_marker: dict[int, Step]) -> dict[str, dict[int, int]]:
    """The hypervisor's trace of the SCSI commands it parsed (scsi_req_parsed, with each READ's
    sector from scsi_disk_dma_command_READ), split at the marker reads like the request log."""
    counts: dict[str, dict[int, int]] = {}
    current = "(boot)"
    for line in path.read_text(errors="replace").splitlines():
        words = line.replace(",", " ").replace("(", " ").replace(")", " ").split()
        if "scsi_req_parsed" in line and "command" in words:
            operation = int(words[words.index("command") + 1])
            if operation != OP_READ10:
                step = counts.setdefault(current, {})
                step[operation] = step.get(operation, 0) + 1
        elif "scsi_disk_dma_command_READ" in line and "sector" in words and "count" in words:
            sector, count = int(words[words.index("sector") + 1]), int(words[words.index("count") + 1])
            marker = marker_of(Request(0, 0, "R", 0, sector, count, True))
            if marker is not None:
                step = by_marker.get(marker)
                current = step.name if step else "(end)"
    return counts


def command_names(counts: dict[int, int]) -> str:
    return ", ".join(f"{OPERATION_NAMES.get(op, f'{op:02X}h')} {n}" for op, n in sorted(counts.items()))


def figures(requests: list[Request]) -> dict:
    reads = [r for r in requests if r.op == "R"]
    single = [r for r in reads if r.sectors == 1]
    gaps = [b.at_us - a.at_us for a, b in zip(single, single[1:])]
    span_ms = (requests[-1].at_us - requests[0].at_us) / 1000 if len(requests) > 1 else 0.0
    return {
        "reads": len(reads),
        "single": len(single),
        "multi": len(reads) - len(single),
        "writes": sum(1 for r in requests if r.op == "W"),
        # A frame starts with a read of LBA 67; each poll for the answer reads LBA 17.
        "frames": sum(1 for r in single if r.lba == FRAME_START_LBA),
        "polls": sum(1 for r in single if r.lba == RESPONSE_LBA),
        "failed": sum(1 for r in reads if not r.completed),
        "span_ms": span_ms,
        # Back-to-back single-sector reads: the guest's whole round trip for one READ(10).
        "median_gap_us": statistics.median(gaps) if gaps else 0,
        "mean_service_us": statistics.mean(r.took_us for r in reads) if reads else 0,
    }


def read_loop(step: Step) -> dict | None:
    """The medians rur-sg-read-loop printed: bare_us, program_us (per read) and ratio."""
    for line in step.output:
        if line.startswith("median "):
            try:
                return {key: float(value) for key, value in (word.split("=", 1) for word in line.split()[1:])}
            except ValueError:
                return None
    return None


def others(requests: list[Request]) -> str:
    """Reads of more than one sector: never the program's, which reads one sector a request."""
    multi = [r for r in requests if r.op != "R" or r.sectors != 1]
    return " ".join(f"{r.op}{r.lba}+{r.sectors}" for r in multi[:12]) + (" ..." if len(multi) > 12 else "")


def report(run: Run) -> str:
    lines = [f"{'step':<20}{'status':>7}{'ms':>7}{'reads':>7}{'1-sect':>7}{'multi':>6}{'frames':>7}"
             f"{'polls':>6}{'span ms':>8}{'us/read':>8}{'server us':>10}"]
    rows = [("(boot)", None, None, run.before_steps)] + [
        (step.name, step.status, step.ms, step.requests) for step in run.steps.values()]
    for name, status, ms, requests in rows:
        f = figures(requests)
        lines.append(f"{name:<20}{'' if status is None else status:>7}{'' if ms is None else ms:>7}"
                     f"{f['reads']:>7}{f['single']:>7}{f['multi']:>6}{f['frames']:>7}{f['polls']:>6}"
                     f"{f['span_ms']:>8.0f}{f['median_gap_us']:>8.0f}{f['mean_service_us']:>10.1f}")
    for name, _, _, requests in rows:
        if any(r.op != "R" or r.sectors != 1 for r in requests):
            lines.append(f"other reads in {name}: {others(requests)}")
    for name, counts in run.other_commands.items():
        lines.append(f"SCSI commands besides READ(10) in {name}: {command_names(counts)}")
    loop = read_loop(run.steps["read-loop"]) if "read-loop" in run.steps else None
    if loop:
        lines.append(f"read loop (median of the runs): bare SG_IO {loop['bare_us']:.1f} us/read, "
                     f"program {loop['program_us']:.1f} us/read, ratio {loop['ratio']:.3f}")
    return "\n".join(lines)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    print(report(read_run(Path(sys.argv[1]))))
