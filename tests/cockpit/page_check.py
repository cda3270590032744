#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives headless Chromium through the Cockpit page while rode-rurd runs a scenario.

Opened before the service runs, the page says how to start it; once the service owns its name the
page fills itself: the mirror's mode text, both members' model and "present"; when the scenario
pulls HDD2 the page shows it "absent" without a reload; when the service stops, the note returns.
Meanwhile the mail panel shows the stored settings and recipients and, where polkit allows it,
adds and removes a recipient; HDD1's SMART grades come on demand. Then, with a scenario of hostile
device texts, both enclosures get their card and no text is drawn as markup.
"""
import argparse
import os
import subprocess
import sys

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

# Bounds for the page to catch up, far above what it needs: the test waits on what the page
# shows, never on the clock.
PAGE_BOUND_S = 30
MODEL = "KESTREL KD1000SX"
MODE_TEXT = "Mirroring(RAID1)"
START_HINT = "systemctl start rode-rur"
# Stored before the service starts, by the test's script.
SMTP_HOST = "smtp.example.org"
RECIPIENT = "admin@example.org"
NEW_RECIPIENT = "night-shift@example.org"


class CheckFailed(Exception):
    pass


def wait_for(driver, what, condition, bound=PAGE_BOUND_S):
    try:
        return WebDriverWait(driver, bound, poll_frequency=0.2).until(lambda _: condition())
    except TimeoutException:
        raise CheckFailed(f"the page never showed {what}; it shows:\n{body_text(driver)}") from None


def body_text(driver):
    return driver.find_element(By.TAG_NAME, "body").text


def members(driver):
    """The member rows as (bay, model, state), read from the table as a user sees it."""
    rows = []
    for row in driver.find_elements(By.CSS_SELECTOR, "table.members tbody tr"):
        cells = row.find_elements(By.CSS_SELECTOR, "th, td")
        rows.append((cells[0].text, cells[1].text, cells[4].text))
    return rows


def browser(downloads):
    options = webdriver.ChromeOptions()
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,900", "--lang=en-GB"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def screenshot(driver, folder, name):
    height = driver.execute_script("return document.documentElement.scrollHeight")
    # The window's frame takes part of its height: leave room so nothing is cut off.
    driver.set_window_size(1280, max(900, height + 200))
    path = os.path.join(folder, name)
    driver.save_screenshot(path)
    print(f"screenshot: {path}")


def check_backup(driver, args):
    """The backup button runs rurctl through the service and offers the flash as a file."""
    Select(driver.find_element(By.CSS_SELECTOR, ".enclosure select")).select_by_value(str(args.backup_bytes))
    driver.find_element(By.XPATH, "//button[text()='Download a firmware backup']").click()
    wait_for(driver, "the backup's outcome", lambda: "backup was saved" in body_text(driver)
             or "backup failed" in body_text(driver))
    if "backup failed" in body_text(driver):
        raise CheckFailed(f"the backup failed:\n{body_text(driver)}")

    def complete():
        files = [name for name in os.listdir(args.downloads) if name.endswith(".bin")]
        return files and os.path.getsize(os.path.join(args.downloads, files[0])) == args.backup_bytes
    wait_for(driver, f"a downloaded backup of {args.backup_bytes} bytes", complete)


def recipients(driver):
    return driver.find_element(By.ID, "recipient-list").text


def check_mail_and_smart(driver, args):
    """The mail panel shows the stored settings and changes the recipients through the service;
    a member's SMART grades come from the service on demand."""
    wait_for(driver, f"the SMTP server {SMTP_HOST}",
             lambda: driver.find_element(By.ID, "mail-field-SMTP").get_attribute("value") == SMTP_HOST)
    wait_for(driver, f"the recipient {RECIPIENT}", lambda: RECIPIENT in recipients(driver))
    if args.mail_changes:
        driver.find_element(By.ID, "recipient-address").send_keys(NEW_RECIPIENT)
        driver.find_element(By.CSS_SELECTOR, "#recipient-add button").click()
        wait_for(driver, f"the added {NEW_RECIPIENT}", lambda: NEW_RECIPIENT in recipients(driver))
        driver.find_element(By.CSS_SELECTOR, f"button[aria-label='Remove {NEW_RECIPIENT}']").click()
        wait_for(driver, f"{NEW_RECIPIENT} removed", lambda: NEW_RECIPIENT not in recipients(driver)
                 and RECIPIENT in recipients(driver))
    driver.find_element(By.CSS_SELECTOR, "tr[data-bay='1'] button").click()
    wait_for(driver, "the SMART grades of HDD1",
             lambda: len(driver.find_elements(By.CSS_SELECTOR, ".smart-area table.smart tbody tr")) > 0)


def check(driver, args):
    driver.get(args.url)
    wait_for(driver, "the note that the service is not running",
             lambda: "not running" in body_text(driver) and START_HINT in body_text(driver))

    with open(args.log, "w") as log:
        service = subprocess.Popen([args.service, f"--simulate={args.scenario}", "--data-dir", args.data_dir],
                                   stdout=log, stderr=subprocess.STDOUT)
    try:
        wait_for(driver, f"the mode text {MODE_TEXT}", lambda: MODE_TEXT in body_text(driver))
        if "not running" in body_text(driver):
            raise CheckFailed("the page still says the service is not running")
        # A reload would lose this mark: the rest must come from the service's signals.
        driver.execute_script("window.rurNotReloaded = true")
        rows = members(driver)
        if rows != [("HDD1", MODEL, "present"), ("HDD2", MODEL, "present")]:
            raise CheckFailed(f"before the pull the members read {rows}")
        check_mail_and_smart(driver, args)

        wait_for(driver, "HDD2 as absent", lambda: ("HDD2", "", "absent") in members(driver))
        if not driver.execute_script("return window.rurNotReloaded === true"):
            raise CheckFailed("the page was reloaded to show the pull")
        if members(driver)[0] != ("HDD1", MODEL, "present"):
            raise CheckFailed(f"after the pull HDD1 reads {members(driver)[0]}")
        badge = driver.find_element(By.CSS_SELECTOR, ".enclosure .badge").text
        if badge == "Healthy":
            raise CheckFailed("the badge still says Healthy with a member pulled")
        wait_for(driver, "the pull in the recent events",
                 lambda: len(driver.find_elements(By.CSS_SELECTOR, "#log-lines li")) > 0)

        if args.backup_bytes:
            check_backup(driver, args)
        if args.screenshots:
            os.makedirs(args.screenshots, exist_ok=True)
            screenshot(driver, args.screenshots, "cockpit-page.png")
            driver.execute_script("localStorage.setItem('shell:style', 'dark')")
            driver.refresh()
            wait_for(driver, "HDD2 as absent after the reload", lambda: ("HDD2", "", "absent") in members(driver))
            wait_for(driver, "the recent events after the reload",
                     lambda: len(driver.find_elements(By.CSS_SELECTOR, "#log-lines li")) > 0)
            screenshot(driver, args.screenshots, "cockpit-page-dark.png")
            driver.execute_script("localStorage.removeItem('shell:style')")
    finally:
        service.terminate()
        service.wait(timeout=PAGE_BOUND_S)

    wait_for(driver, "the note that the service stopped",
             lambda: "not running" in body_text(driver) and MODE_TEXT not in body_text(driver))


def check_hostile_texts(driver, args):
    """Enclosures whose devices report markup, escape sequences and bytes that are no UTF-8: the
    page shows a card for each, their texts as reported and none of them as markup."""
    with open(args.log, "a") as log:
        service = subprocess.Popen([args.service, f"--simulate={args.hostile_scenario}", "--data-dir",
                                    args.data_dir + "-hostile"], stdout=log, stderr=subprocess.STDOUT)
    try:
        wait_for(driver, "a card for each of the two enclosures",
                 lambda: len(driver.find_elements(By.CSS_SELECTOR, "article.enclosure")) == 2
                 and "</span><i>HIDE" in body_text(driver))
        if "<b>OLD</b>" not in body_text(driver) and "<b>NEW</b>" not in body_text(driver):
            raise CheckFailed(f"the serial of markup is not shown as reported:\n{body_text(driver)}")
        drawn = driver.find_elements(By.CSS_SELECTOR, "article.enclosure b, article.enclosure i")
        if drawn:
            raise CheckFailed(f"a device's text was drawn as markup: {[element.tag_name for element in drawn]}")
        if "could not be read" in body_text(driver):
            raise CheckFailed(f"an enclosure could not be read:\n{body_text(driver)}")
        print("the page showed both enclosures of hostile texts, as their devices report them")
    finally:
        service.terminate()
        service.wait(timeout=PAGE_BOUND_S)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--url", "--service", "--scenario", "--data-dir", "--log"):
        parser.add_argument(option, required=True)
    parser.add_argument("--screenshots", help="folder for the light and dark screenshots")
    parser.add_argument("--downloads", required=True, help="the browser's download folder")
    parser.add_argument("--backup-bytes", type=int, default=0,
                        help="the size of the firmware backup to download; 0 leaves the backup out")
    parser.add_argument("--hostile-scenario", help="a scenario of hostile device texts, run after the main check")
    parser.add_argument("--mail-changes", type=int, default=0,
                        help="1: polkit allows the mail changes, and the page adds and removes a recipient")
    args = parser.parse_args()
    driver = browser(args.downloads)
    try:
        check(driver, args)
        if args.hostile_scenario:
            check_hostile_texts(driver, args)
    except CheckFailed as failure:
        print(f"FAIL: {failure}")
        return 1
    finally:
        logs = driver.get_log("browser") if hasattr(driver, "get_log") else []
        for entry in logs:
            print(f"browser: {entry['level']} {entry['message']}")
        driver.quit()
    print("the page showed the service's start, the mirror, the pull and the service's stop")
    return 0


if __name__ == "__main__":
    sys.exit(main())
