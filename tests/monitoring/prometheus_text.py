# SPDX-License-Identifier: GPL-3.0-or-later
"""Reading the Prometheus text format, and running rurctl's monitor with a metrics folder."""
import re
import subprocess
import sys

_LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')


def samples(text):
    """(name, labels, value) for every sample line of an exposition."""
    found = []
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        series, value = line.rsplit(" ", 1)
        name, _, labels = series.partition("{")
        found.append((name, dict(_LABEL.findall(labels)), float(value)))
    return found


def value(text, name, **labels):
    """The value of the one sample of `name` whose labels include `labels`."""
    matches = [v for n, l, v in samples(text) if n == name and all(l.get(k) == w for k, w in labels.items())]
    if len(matches) != 1:
        sys.exit(f"expected one sample {name} {labels}, found {len(matches)}:\n{text}")
    return matches[0]


def run_monitor(rurctl, scenario, seconds, data_dir, textfile_dir):
    """rurctl monitor on a bundled scenario, on virtual time, writing its metrics into textfile_dir."""
    command = [rurctl, f"--simulate={scenario}", "--virtual-time", "--data-dir", data_dir,
               "monitor", "--for", str(seconds), "--textfile-dir", textfile_dir]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({result.returncode}):\n{result.stderr}")
