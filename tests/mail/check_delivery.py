#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks what a real mail server made of an alarm: the monitor's mail-refused event, the day
log's line, and the delivered mail (no line over 998 bytes, the long contents line intact after
decoding, no header defects). Prints what is wrong and exits 1; exits 0 when all is right."""
import argparse
import email
import email.policy
import json
import os
import sys

MAX_LINE_BYTES = 998


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--events", required=True)
    parser.add_argument("--day-log", required=True)
    parser.add_argument("--mailbox", required=True)
    parser.add_argument("--long-line", required=True)
    parser.add_argument("--refused", required=True)
    args = parser.parse_args()
    problems = []

    events = [json.loads(line) for line in open(args.events, encoding="utf-8") if line.strip()]
    refused = [e for e in events if e.get("event") == "mail-refused"]
    if len(refused) != 1:
        problems.append(f"expected one mail-refused event, got {len(refused)}: {refused}")
    else:
        event = refused[0]
        if event.get("recipient") != args.refused:
            problems.append(f"mail-refused names {event.get('recipient')!r}")
        if event.get("code") != 550:
            problems.append(f"mail-refused has code {event.get('code')!r}")
        if not event.get("text"):
            problems.append("mail-refused has no text")
    if not any(e.get("event") == "alarm" for e in events):
        problems.append("no alarm event")
    day_log = open(args.day_log, encoding="utf-8", errors="replace").read()
    if f"refused for {args.refused}" not in day_log:
        problems.append("the day log does not name the refused address")

    files = sorted(os.listdir(args.mailbox)) if os.path.isdir(args.mailbox) else []
    if len(files) != 1:
        problems.append(f"expected one mail in {args.mailbox}, found {len(files)}")
    else:
        raw = open(os.path.join(args.mailbox, files[0]), "rb").read()
        for number, line in enumerate(raw.split(b"\n"), 1):
            if len(line.rstrip(b"\r")) > MAX_LINE_BYTES:
                problems.append(f"line {number} has {len(line)} bytes")
        message = email.message_from_bytes(raw, policy=email.policy.default)
        defects = list(message.defects)
        for part in message.walk():
            defects += part.defects
        for name in message.keys():
            defects += getattr(message[name], "defects", ())
        if defects:
            problems.append(f"defects: {defects}")
        if "Hard Disks Fail" not in str(message["Subject"]):
            problems.append(f"subject {message['Subject']!r}: the empty subject file should give the caption")
        body = message.get_body(preferencelist=("plain",))
        text = body.get_content() if body is not None else ""
        if args.long_line not in text.splitlines():
            problems.append("the long contents line did not arrive intact")
        if "Delivered-To" not in message or args.refused in message.get_all("Delivered-To", []):
            problems.append("the mail was not delivered to the accepted recipient alone")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
