#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The host's side of the test of the product as installed.

Boots the guest disk that system-test.sh made, twice, under qemu with systemd as PID 1: the
simulated enclosure is its USB disk (the nbdkit plugin, as in the VM tests), a mail sink on the
host's 127.0.0.1 is reached from the guest through qemu's user network, and the guest's Cockpit
is forwarded to a port of the host's 127.0.0.1 for headless Chromium. The guest's journey
(journey.sh) asks the host over the network to pull HDD2 and to look at the Cockpit page; the
host then checks the journey's results, the mails that arrived and that no write reached the
enclosure, and prints the figures.
"""
import argparse
import email
import email.policy
import glob
import json
import os
import socket
import subprocess
import sys
import threading
import time

ADMIN_USER = "admin"
MODEL = "KESTREL KD1000SX"
MODE_TEXT = "Mirroring(RAID1)"
BOOT_BOUND_S = 1500


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, bound):
    deadline = time.monotonic() + bound
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), 1).close()
            return True
        except OSError:
            time.sleep(0.2)
    return False


def cockpit_check(port, password, out):
    """Logs in to the guest's Cockpit as its administrator and waits for the enclosure's card."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import WebDriverWait
    except ImportError:
        print("cockpit: python3-selenium is not installed", flush=True)
        return False
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,900", "--lang=en-GB", "--ignore-certificate-errors",
                     "--disable-background-networking", "--disable-component-update", "--no-first-run"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    base = f"https://127.0.0.1:{port}"
    try:
        driver.get(base + "/")
        WebDriverWait(driver, 120, 0.5).until(lambda d: d.find_elements(By.ID, "login-user-input"))
        driver.find_element(By.ID, "login-user-input").send_keys(ADMIN_USER)
        driver.find_element(By.ID, "login-password-input").send_keys(password)
        driver.find_element(By.ID, "login-button").click()
        WebDriverWait(driver, 120, 0.5).until(lambda d: d.get_cookie("cockpit") is not None)
        driver.get(base + "/cockpit/@localhost/rode-rur/index.html")
        body = lambda d: d.find_element(By.TAG_NAME, "body").text
        WebDriverWait(driver, 180, 0.5).until(lambda d: MODEL in body(d) and MODE_TEXT in body(d))
        driver.save_screenshot(os.path.join(out, "cockpit.png"))
        print("cockpit: the page shows the enclosure", flush=True)
        return True
    except Exception as error:  # noqa: BLE001 - any failure of the browser is the check's failure
        print(f"cockpit: {type(error).__name__}: {error}", flush=True)
        try:
            driver.save_screenshot(os.path.join(out, "cockpit-failed.png"))
            print(driver.find_element(By.TAG_NAME, "body").text[:2000], flush=True)
        except Exception:  # noqa: BLE001
            pass
        return False
    finally:
        driver.quit()


class Control(threading.Thread):
    """Answers the journey's requests: "pull" starts the enclosure's timeline, "cockpit" looks."""

    def __init__(self, args, cockpit_port):
        super().__init__(daemon=True)
        self.args = args
        self.cockpit_port = cockpit_port
        self.server = socket.socket()
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]

    def run(self):
        while True:
            connection, _ = self.server.accept()
            with connection:
                request = connection.makefile().readline().strip()
                print(f"guest asks: {request}", flush=True)
                reply = "unknown"
                if request == "pull":
                    with open(self.args.start_file, "w"):
                        pass
                    reply = "ok"
                elif request == "cockpit":
                    reply = "ok" if cockpit_check(self.cockpit_port, self.args.admin_password, self.args.out) else "fail"
                connection.sendall((reply + "\n").encode())


def boot(args, number, append, net, enclosure):
    console = os.path.join(args.out, f"console{number}.log")
    results = os.path.join(args.out, f"results{number}.log")
    command = ["qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max", "-m", "1536", "-smp", "2",
               "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
               "-kernel", args.kernel, "-initrd", args.initrd, "-append", append,
               "-serial", f"file:{console}", "-serial", f"file:{results}",
               "-drive", f"file={args.disk},format=raw,if=virtio",
               "-netdev", net, "-device", "virtio-net-pci,netdev=net0",
               "-device", "qemu-xhci,id=xhci"] + enclosure
    started = time.monotonic()
    qemu = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=open(os.path.join(args.out, f"qemu{number}.log"), "w"))
    try:
        qemu.wait(timeout=BOOT_BOUND_S)
    except subprocess.TimeoutExpired:
        qemu.kill()
        qemu.wait()
        print(f"boot {number}: the guest did not finish within {BOOT_BOUND_S} s", flush=True)
    took = time.monotonic() - started
    text = open(results, errors="replace").read() if os.path.exists(results) else ""
    print(f"--- boot {number} ({took:.0f} s) ---\n{text}", flush=True)
    return text, took


def mails(folder):
    found = []
    for path in sorted(glob.glob(os.path.join(folder, "mail-*.eml"))):
        with open(path, "rb") as f:
            message = email.message_from_binary_file(f, policy=email.policy.default)
        body = message.get_body(preferencelist=("plain",))
        found.append((str(message["Subject"]), body.get_content() if body else ""))
    return found


def main():
    parser = argparse.ArgumentParser()
    for name in ("--kernel", "--initrd", "--disk", "--plugin", "--scenario", "--out", "--sink", "--admin-password"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    args.start_file = os.path.join(args.out, "timeline-started")
    for stale in glob.glob(os.path.join(args.out, "*.log")) + [args.start_file]:
        if os.path.exists(stale):
            os.remove(stale)
    processes = []
    try:
        mail_folder = os.path.join(args.out, "mail")
        os.makedirs(mail_folder, exist_ok=True)
        for stale in glob.glob(os.path.join(mail_folder, "*")):
            os.remove(stale)
        smtp_port = free_port()
        processes.append(subprocess.Popen([sys.executable, args.sink, "--folder", mail_folder, "--port", str(smtp_port)],
                                          stdout=open(os.path.join(args.out, "sink.log"), "w"), stderr=subprocess.STDOUT))
        socket_path = os.path.join(args.out, "nbd.sock")
        if os.path.exists(socket_path):
            os.remove(socket_path)
        info = os.path.join(args.out, "drives.tsv")
        trace = os.path.join(args.out, "trace.log")
        processes.append(subprocess.Popen(
            ["nbdkit", "--foreground", "--exit-with-parent", "--unix", socket_path, args.plugin,
             f"scenario={args.scenario}", f"start={args.start_file}", f"info={info}", f"trace={trace}"],
            stdout=open(os.path.join(args.out, "nbdkit.log"), "w"), stderr=subprocess.STDOUT))
        if not wait_for_port(smtp_port, 30):
            print("the mail sink did not start", flush=True)
            return 1
        for _ in range(100):
            if os.path.exists(socket_path):
                break
            time.sleep(0.1)
        number, _kind, _plugged, _size, vendor, product, revision = open(info).readline().rstrip("\n").split("\t")
        enclosure = ["-drive", f"file=nbd+unix:///{number}?socket={socket_path},format=raw,if=none,id=enclosure,cache=none",
                     "-device", "usb-bot,id=usb0,bus=xhci.0",
                     "-device", f"scsi-hd,drive=enclosure,bus=usb0.0,scsi-id=0,lun=0,vendor={vendor},product={product},ver={revision}"]
        cockpit_port = free_port()
        control = Control(args, cockpit_port)
        control.start()
        # The guest reaches the host's 127.0.0.1 as 10.0.2.2; nothing else of the host's network.
        net = f"user,id=net0,restrict=off,hostfwd=tcp:127.0.0.1:{cockpit_port}-:9090"
        append = (f"root=/dev/vda rw console=ttyS0 quiet panic=-1 rur.host=10.0.2.2 rur.smtp={smtp_port} "
                  f"rur.control={control.port}")
        first, first_s = boot(args, 1, append, net, enclosure)
        second, second_s = ("", 0)
        if "@@reset" in first:
            second, second_s = boot(args, 2, append, net, enclosure)
        results = first + second
        failures = [line for line in results.splitlines() if line.startswith("@@fail")]
        if "@@reset" not in first:
            failures.append("boot 1 did not reach the power cut")
        if "@@journey done" not in second:
            failures.append("boot 2 did not finish the journey")
        arrived = mails(mail_folder)
        for subject, _ in arrived:
            print(f"mail: {subject}")
        tests = [m for m in arrived if "Teat" in m[0] or "Test" in m[0]]
        alarms = [m for m in arrived if m not in tests]
        if len(tests) != 1:
            failures.append(f"{len(tests)} test mails arrived, not 1")
        if len(alarms) != 1 or "HDD2" not in alarms[0][1]:
            failures.append(f"{len(alarms)} alarm mails arrived, not one about HDD2: {[a[0] for a in alarms]}")
        refused = [line for line in open(trace, errors="replace") if "REFUSED" in line] if os.path.exists(trace) else []
        if refused:
            failures.append(f"{len(refused)} requests other than reads reached the enclosure: {refused[:3]}")
        figures = dict(line.split()[1:3] for line in results.splitlines() if line.startswith("@@figure"))
        figures["boot-1-s"] = f"{first_s:.0f}"
        figures["boot-2-s"] = f"{second_s:.0f}"
        with open(os.path.join(args.out, "figures.json"), "w") as f:
            json.dump(figures, f, indent=1)
        print("figures: " + ", ".join(f"{k} {v}" for k, v in figures.items()))
        for failure in failures:
            print(f"FAILED: {failure}")
        return 1 if failures else 0
    finally:
        for process in processes:
            process.terminate()
        for process in processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()


if __name__ == "__main__":
    sys.exit(main())
