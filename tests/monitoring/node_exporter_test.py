#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The monitor's metrics as Prometheus scrapes them: node_exporter's textfile collector, on
127.0.0.1 and a free port, serves the folder the monitor on the demo writes. Each run of the
monitor on virtual time leaves the file as it was at the run's end: HDD2 pulled (45 s), then
rebuilt further and further (100 s, 200 s).

Usage: node_exporter_test.py RURCTL"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from prometheus_text import run_monitor, value

exporter = shutil.which("prometheus-node-exporter") or shutil.which("node_exporter")
if exporter is None:
    sys.exit("node_exporter is missing: install Debian's prometheus-node-exporter package (scripts/install-deps.sh)")
rurctl = sys.argv[1]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def scrape(url, deadline):
    while True:
        try:
            with urllib.request.urlopen(url, timeout=2) as answer:
                return answer.read().decode()
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


with tempfile.TemporaryDirectory() as work:
    textfiles = os.path.join(work, "textfile")
    os.mkdir(textfiles)
    port = free_port()
    url = f"http://127.0.0.1:{port}/metrics"
    server = subprocess.Popen([exporter, f"--web.listen-address=127.0.0.1:{port}", "--collector.disable-defaults",
                               "--collector.textfile", f"--collector.textfile.directory={textfiles}"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        scrape(url, time.monotonic() + 10)
        device = {"device": "1", "drive": "1", "path": "/dev/sdb"}

        run_monitor(rurctl, "demo", 45, os.path.join(work, "data"), textfiles)
        pulled = scrape(url, time.monotonic() + 5)
        assert value(pulled, "node_textfile_scrape_error") == 0, pulled
        assert value(pulled, "rode_rur_up", **device) == 1
        assert value(pulled, "rode_rur_member_state", bay="2", state="absent", **device) == 1
        assert value(pulled, "rode_rur_member_state", bay="1", state="present", **device) == 1
        assert value(pulled, "rode_rur_array_state", state="degraded", **device) == 1
        assert value(pulled, "rode_rur_alarms_total", kind="drive_failure") == 1
        print("HDD2 pulled: absent, array degraded")

        ratios = []
        for seconds in (100, 200):
            run_monitor(rurctl, "demo", seconds, os.path.join(work, "data"), textfiles)
            rebuilt = scrape(url, time.monotonic() + 5)
            assert value(rebuilt, "rode_rur_member_state", bay="2", state="absent", **device) == 0
            assert value(rebuilt, "rode_rur_member_state", bay="2", state="rebuilding", **device) == 1
            assert value(rebuilt, "rode_rur_array_state", state="rebuilding", **device) == 1
            ratios.append(value(rebuilt, "rode_rur_rebuild_progress_ratio", **device))
        print(f"rebuild ratio at 100 s and 200 s: {ratios}")
        assert 0 < ratios[0] < ratios[1] < 1, ratios
    finally:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
print("ok")
