#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""promtool accepts the metrics file the monitor writes on the bundled scenarios, and on scenario
files given by path (one whose devices report hostile texts among them).

Usage: check_metrics.py RURCTL SCENARIO..."""
import os
import shutil
import subprocess
import sys
import tempfile

from prometheus_text import run_monitor, samples

promtool = shutil.which("promtool")
if promtool is None:
    sys.exit("promtool is missing: install Debian's prometheus package (scripts/install-deps.sh)")
rurctl, scenarios = sys.argv[1], sys.argv[2:]
failed = False
with tempfile.TemporaryDirectory() as work:
    for scenario in scenarios:
        folder = os.path.join(work, os.path.splitext(os.path.basename(scenario))[0])
        os.makedirs(os.path.join(folder, "metrics"))
        run_monitor(rurctl, scenario, 300, os.path.join(folder, "data"), os.path.join(folder, "metrics"))
        with open(os.path.join(folder, "metrics", "rode_rur.prom"), encoding="utf-8") as metrics:
            text = metrics.read()
        names = {name for name, _, _ in samples(text)}
        check = subprocess.run([promtool, "check", "metrics"], input=text, capture_output=True, text=True)
        print(f"{scenario}: {len(samples(text))} samples of {len(names)} metrics; promtool: {check.returncode}")
        print(check.stdout + check.stderr, end="")
        if check.returncode != 0 or "rode_rur_up" not in names:
            failed = True
sys.exit(1 if failed else 0)
