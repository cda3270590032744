#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A local SMTP server for the mail tests.

Listens on 127.0.0.1 at a free port, writes that port to FOLDER/port once it listens, and stores
every message it takes as FOLDER/mail-N.eml with its envelope in FOLDER/mail-N.json, and every
login as FOLDER/login-N.json.

Modes: normal; auth (login required); reject (RCPT TO of --reject is refused with 550);
silent (takes connections and never says a word).
"""
import argparse
import asyncio
import json
import os
import socket
import time

from aiosmtpd.smtp import SMTP, AuthResult


def write_atomically(path, data):
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.rename(temporary, path)


class Sink:
    def __init__(self, folder, reject):
        self.folder = folder
        self.reject = reject
        self.mails = 0
        self.logins = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject and address == self.reject:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.mails += 1
        base = os.path.join(self.folder, "mail-%d" % self.mails)
        write_atomically(base + ".eml", envelope.original_content or envelope.content)
        record = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}
        write_atomically(base + ".json", json.dumps(record).encode())
        return "250 Message accepted"

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        self.logins += 1
        record = {
            "mechanism": mechanism,
            "login": auth_data.login.decode("utf-8", "replace"),
            "password": auth_data.password.decode("utf-8", "replace"),
        }
        path = os.path.join(self.folder, "login-%d.json" % self.logins)
        write_atomically(path, json.dumps(record).encode())
        return AuthResult(success=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--mode", default="normal", choices=["normal", "auth", "reject", "silent"])
    parser.add_argument("--reject", default="")
    args = parser.parse_args()
    port_file = os.path.join(args.folder, "port")

    if args.mode == "silent":
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)  # the kernel completes the handshakes; nobody ever answers
        write_atomically(port_file, str(listener.getsockname()[1]).encode())
        while True:
            time.sleep(3600)

    sink = Sink(args.folder, args.reject if args.mode == "reject" else "")
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def session():
        return SMTP(
            sink,
            hostname="sink.localhost",
            authenticator=sink.authenticate,
            auth_required=args.mode == "auth",
            auth_require_tls=False,
            decode_data=False,
        )

    server = loop.run_until_complete(loop.create_server(session, "127.0.0.1", 0))
    write_atomically(port_file, str(server.sockets[0].getsockname()[1]).encode())
    loop.run_forever()


if __name__ == "__main__":
    main()
