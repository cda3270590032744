#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A local SMTP server for the mail tests.

Listens on 127.0.0.1 at a free port, writes that port to FOLDER/port once it listens, and stores
every message it takes as FOLDER/mail-N.eml with its envelope in FOLDER/mail-N.json, and every
login as FOLDER/login-N.json.

Modes: normal; auth (login required); reject (RCPT TO of --reject is refused with 550);
silent (takes connections and never says a word); garbled (greets with "2x0 ready" and then
says nothing); busy (greets with --reply, by default "421 4.3.2 Service busy, try again later",
and hangs up); refuse-data (answers the message's end with --reply, by default "554 5.7.1 content
refused by policy", and keeps nothing); stall (takes the message after DATA and never
answers); starttls (login required, AUTH PLAIN only, STARTTLS offered with a certificate for 127.0.0.1 and
localhost from a test CA written as FOLDER/ca.pem). A login record says whether the session was encrypted by then.
--port listens on that port instead of a free one.
"""
import argparse
import asyncio
import datetime
import ipaddress
import json
import os
import socket
import ssl
import time

from aiosmtpd.smtp import SMTP, AuthResult


def write_atomically(path, data):
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.rename(temporary, path)


class Sink:
    def __init__(self, folder, reject, stall, drop_every=0, data_reply=""):
        self.folder = folder
        self.reject = reject
        self.stall = stall
        self.data_reply = data_reply
        self.drop_every = drop_every
        self.mails = 0
        self.logins = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject and address == self.reject:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.stall:
            await asyncio.sleep(3600)
        if self.data_reply:
            return self.data_reply
        self.mails += 1
        base = os.path.join(self.folder, "mail-%d" % self.mails)
        write_atomically(base + ".eml", envelope.original_content or envelope.content)
        record = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}
        write_atomically(base + ".json", json.dumps(record).encode())
        if self.drop_every and self.mails % self.drop_every == 0:
            # The mail is kept, but the connection goes before its verdict.
            server.transport.abort()
        return "250 Message accepted"

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        self.logins += 1
        record = {
            "mechanism": mechanism,
            "login": auth_data.login.decode("utf-8", "replace"),
            "password": auth_data.password.decode("utf-8", "replace"),
            "tls": server._tls_protocol is not None,
        }
        path = os.path.join(self.folder, "login-%d.json" % self.logins)
        write_atomically(path, json.dumps(record).encode())
        return AuthResult(success=True)


def make_tls_context(folder):
    """A CA and a server certificate for 127.0.0.1 signed by it; the CA goes to FOLDER/ca.pem."""
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID

    now = datetime.datetime.utcnow()
    later = now + datetime.timedelta(days=1)
    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca_name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "RUR test CA")])
    ca = (x509.CertificateBuilder().subject_name(ca_name).issuer_name(ca_name)
          .public_key(ca_key.public_key()).serial_number(x509.random_serial_number())
          .not_valid_before(now).not_valid_after(later)
          .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
          .sign(ca_key, hashes.SHA256()))
    key = ec.generate_private_key(ec.SECP256R1())
    cert = (x509.CertificateBuilder()
            .subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "127.0.0.1")]))
            .issuer_name(ca_name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now).not_valid_after(later)
            .add_extension(x509.SubjectAlternativeName([x509.IPAddress(ipaddress.ip_address("127.0.0.1")),
                                                        x509.DNSName("localhost")]),
                           critical=False)
            .sign(ca_key, hashes.SHA256()))
    cert_path = os.path.join(folder, "server.pem")
    key_path = os.path.join(folder, "server.key")
    with open(cert_path, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_path, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    write_atomically(os.path.join(folder, "ca.pem"), ca.public_bytes(serialization.Encoding.PEM))
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert_path, key_path)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--mode", default="normal",
                        choices=["normal", "auth", "reject", "silent", "garbled", "busy", "refuse-data", "stall",
                                 "starttls", "drop"])
    parser.add_argument("--reject", default="")
    parser.add_argument("--reply", default="")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    port_file = os.path.join(args.folder, "port")

    if args.mode in ("silent", "garbled", "busy"):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", args.port))
        listener.listen(16)  # the kernel completes the handshakes; nobody ever answers
        write_atomically(port_file, str(listener.getsockname()[1]).encode())
        if args.mode == "silent":
            while True:
                time.sleep(3600)
        if args.mode == "busy":
            greeting = (args.reply or "421 4.3.2 Service busy, try again later").encode() + b"\r\n"
            while True:
                connection, _ = listener.accept()
                connection.sendall(greeting)
                connection.close()
        held = []
        while True:
            connection, _ = listener.accept()
            connection.sendall(b"2x0 ready\r\n")
            held.append(connection)

    # "drop": every third connection is lost after the end of DATA, once the mail is stored.
    data_reply = (args.reply or "554 5.7.1 content refused by policy") if args.mode == "refuse-data" else ""
    sink = Sink(args.folder, args.reject if args.mode == "reject" else "", args.mode == "stall",
                3 if args.mode == "drop" else 0, data_reply)
    tls_context = make_tls_context(args.folder) if args.mode == "starttls" else None
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def session():
        return SMTP(
            sink,
            hostname="sink.localhost",
            authenticator=sink.authenticate,
            auth_required=args.mode in ("auth", "starttls"),
            auth_require_tls=False,
            # Like Dovecot's default: a server that knows PLAIN only.
            auth_exclude_mechanism=["LOGIN"] if args.mode == "starttls" else [],
            tls_context=tls_context,
            decode_data=False,
        )

    server = loop.run_until_complete(loop.create_server(session, "127.0.0.1", args.port))
    write_atomically(port_file, str(server.sockets[0].getsockname()[1]).encode())
    loop.run_forever()


if __name__ == "__main__":
    main()
