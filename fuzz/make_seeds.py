#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are small, well-formed inputs (plus a few typical damaged ones) from which the fuzzer
starts; the test command replays them all. Run again after changing a seed; files found by a
fuzzing run may be added to a corpus folder by hand and are kept.
"""
import os
import shutil
import struct
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def ata(text, length):
    """An ATA string: padded with blanks, each byte pair swapped."""
    raw = text.encode("latin-1")[:length].ljust(length, b" ")
    return bytes(raw[i ^ 1] for i in range(length))


RAID = (b"__KELVARO4417C__", b"__SATA6GRAID01__")
PORT_MULTIPLIER = (b"__TORLINE5530D__", b"_PORTMULTIPLIER_")


def answer(fields, status=0x20, signatures=None):
    """A 512-byte answer. Without signatures the fuzz target adds the controller's pair itself;
    with them the answer is taken as it is (it must then begin with '_')."""
    sector = bytearray(512)
    sector[48] = status
    for offset, value in fields:
        sector[offset:offset + len(value)] = value
    if signatures:
        sector[0:16] = signatures[0]
        sector[496:512] = signatures[1]
    return bytes(sector)


def identity(name="RODE Dual Bay RAID", version=0x14031510, code=b"\x27\x60", sensors=True, capacity=1953525168):
    fields = [(88, struct.pack(">I", version | 0x10)), (92, code), (160, ata(name, 40)),
              (200, capacity.to_bytes(6, "little"))]
    if sensors:
        fields += [(127, b"\x26"), (128, struct.pack(">H", 2600))]
    else:
        fields += [(124, b"\xff\xff")]
    return answer(fields)


def member_block(state, model, serial, capacity):
    block = bytearray(76)
    block[0] = state
    block[4:44] = ata(model, 40)
    block[44:64] = ata(serial, 20)
    block[70:76] = capacity.to_bytes(6, "big")
    return bytes(block)


def members(mode=2, a=(0, "WDC WD10EZEX-08WN4A0", "WD-WCC6Y1234567", 1953525168),
            b=(0, "ST1000DM010-2EP102", "Z9A0B1C2", 1953525168)):
    return answer([(80, bytes([mode])), (84, member_block(*a)), (160, member_block(*b))])


def rebuild(running=True, size=1953525168, position=488381292):
    return answer([(84, bytes([2 if running else 0])), (94, size.to_bytes(6, "big")),
                   (119, position.to_bytes(5, "big"))])


def flash_head(block):
    image = bytearray(256)
    image[0x80:0x84] = b"QOVA"
    image[0x84:0x94] = uuid.UUID("AE166DEF-6FDC-474C-9BA4-B6AAE4B69A84").bytes_le
    image[0x95] = 0x01
    image[0x9C:0xA0] = struct.pack(">I", 0x14031510)
    image[0xA0:0xA2] = b"\x27\x60"
    return answer([(80, bytes(image[block * 128:(block + 1) * 128]))])


def smart_page(thresholds):
    page = bytearray(512)
    page[0:2] = b"\x10\x00"
    attributes = [(1, 200, 200, 51, 0), (5, 180, 99, 140, 37), (9, 70, 70, 0, 26011), (190, 60, 40, 45, 0),
                  (194, 108, 96, 0, 42), (197, 200, 200, 0, 3), (170, 100, 100, 10, 0)]
    for n, (ident, value, worst, threshold, raw) in enumerate(attributes):
        entry = 2 + 12 * n
        if thresholds:
            page[entry] = ident
            page[entry + 1] = threshold
        else:
            page[entry] = ident
            page[entry + 1:entry + 3] = b"\x0f\x00"
            page[entry + 3] = value
            page[entry + 4] = worst
            page[entry + 5:entry + 11] = raw.to_bytes(6, "little")
    page[511] = (-sum(page[:511])) & 0xFF
    return bytes(page)


def smart_pass(thresholds):
    page = smart_page(thresholds)
    chunks = [answer([])]  # the issue
    chunks += [answer([(80, page[k * 128:(k + 1) * 128])]) for k in range(4)]
    return b"".join(chunks * 2)  # both bays


def detection(ident, members_answer, rebuild_answer=None):
    parts = [answer([]), ident, flash_head(0), flash_head(1), members_answer]
    if rebuild_answer is not None:
        parts.append(rebuild_answer)
    return b"".join(parts)


def controller_answers():
    t = "controller_answers"
    healthy = detection(identity(), members(), rebuild(False))
    write(t, "healthy-mirror", healthy + smart_pass(True) + smart_pass(False) + identity() + members())
    write(t, "rebuilding", detection(identity(), members(b=(1, "ST1000DM010", "Z9A0", 1953525168)), rebuild()) +
          identity() + members(b=(1, "ST1000DM010", "Z9A0", 1953525168)) + rebuild())
    write(t, "rebuild-size-zero", detection(identity(), members(b=(1, "ST1000", "Z9", 0)), rebuild(True, 0, 5000)) +
          identity() + rebuild(True, 0, 0))
    control = "".join(chr(c) for c in range(1, 32)) + "\x7f\x80\xff\x9b"
    write(t, "control-bytes", detection(identity(name="\r\n\x1b[2J" + control),
                                        members(a=(0, "\r\nD1 forged line\x1b[31m" + control, "\n\r\x00\x07" + control, 100),
                                                b=(9, control, control, 1))) +
          identity(name="\xff" * 40) + members(mode=7))
    write(t, "striping-no-sensors", detection(identity(name="", sensors=False, capacity=3907050336),
                                              members(mode=1, a=(6, "NEW DISK", "N1", 1), b=(5, "", "", 0))))
    write(t, "port-multiplier", answer([], signatures=PORT_MULTIPLIER) +
          answer([(88, b"\x14\x03\x15\x10"), (92, b"\x27\x60")], signatures=PORT_MULTIPLIER) +
          answer([(84, member_block(0, "PM DISK", "PM1", 1000))], signatures=PORT_MULTIPLIER))
    write(t, "mixed-and-unknown-status", answer([], signatures=(RAID[0], PORT_MULTIPLIER[1])) +
          answer([], status=0x33) + answer([], status=0xC0) + answer([(17, b"\xee")]))
    write(t, "short-answer", b"\x00" * 100)


def firmware_image():
    t = "firmware_image"

    def image(length=1024, guid=True, signature=b"QOVA", version=0x14031510, code=b"\x27\x60", kind=1):
        data = bytearray((i * 7 + 3) & 0xFF for i in range(length))
        data[0x80:0x84] = signature
        data[0x84:0x94] = uuid.UUID("AE166DEF-6FDC-474C-9BA4-B6AAE4B69A84").bytes_le if guid else \
            b"AE166DEF-6FDC-47"
        data[0x95] = kind
        data[0x9C:0xA0] = struct.pack(">I", version)
        data[0xA0:0xA2] = code
        return bytes(data)

    def traits(kind=0, flaky=False, version=0x14031510, code=b"\x27\x60"):
        return bytes([kind | (2 if flaky else 0)]) + struct.pack(">I", version) + code

    write(t, "good", traits() + image())
    write(t, "good-odd-length", traits() + image(1000))
    write(t, "flaky-reads", traits(flaky=True) + image(300))
    write(t, "sister-product", traits(code=b"\x27\x70") + image())
    write(t, "other-product", traits(code=b"\x05\x00") + image(code=b"\x05\x01"))
    write(t, "old-device", traits(version=0x13122500, code=b"\x05\x00") + image())
    write(t, "port-multiplier", traits(kind=1, code=b"\x00\x00") + image(code=b"\xff\xff"))
    write(t, "guid-as-text", traits() + image(guid=False))
    write(t, "bad-signature", traits() + image(signature=b"AVOQ"))
    write(t, "header-only", traits() + image(0xA2))
    write(t, "too-short", traits() + image(0xA2)[:0xA1])


def event_log():
    t = "event_log"
    sep = "-" * 83
    normal = "\r\n".join([sep, "RODE RUR v0.50.11-3 has started from 2026/3/14 9:00:00", "Device1 : RODE Dual Bay RAID",
                          "  Firmware version : 14031510", sep, "D1 HDD2 was removed, 052026/3/14 9:00:35",
                          "D1 HDD1 --> HDD2 42%, 2026/3/14 9:05:00", ""])
    write(t, "day-log", normal)
    write(t, "bare-newlines", normal.replace("\r\n", "\n"))
    write(t, "no-final-newline", normal.rstrip("\r\n"))
    write(t, "carriage-returns", "a\r\r\nb\rc\r\n\r\n\n")
    write(t, "binary", bytes(range(256)) * 2)
    write(t, "empty", b"")


def settings_text():
    t = "settings_text"
    write(t, "fresh", '[SOFTWARE\\KV_RODE_RUR]\n"Port"="25"\n"EMailSend"=dword:00000000\n'
                      '"ProductID"=hex:1f,00,a5\n')
    write(t, "regedit", 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KV_RODE_RUR]\r\n'
                        '"SMTP"="mail.example.org"\r\n"Password"=hex:01,02,03,\\\r\n  04,05\r\n; comment\r\n')
    write(t, "escapes", '[SOFTWARE\\KV_RODE_RUR]\n"Name\\"q"="a\\\\b\\x01\\n\\t"\n"name"="same, other case"\n')
    write(t, "unterminated", '[SOFTWARE\\KV_RODE_RUR]\n"Port"="25\n')
    write(t, "hex-runs-out", '[SOFTWARE\\KV_RODE_RUR]\n"B"=hex:01,\\\n')
    write(t, "bom", '\xef\xbb\xbf[SOFTWARE\\KV_RODE_RUR]\n"X"=DWORD:FFFFFFFF\n')


def scenario():
    t = "scenario"
    scenarios = os.path.join(HERE, "..", "scenarios")
    for name in ("demo", "faults", "two-enclosures", "port-multiplier", "bypass"):
        shutil.copyfile(os.path.join(scenarios, name + ".json"), os.path.join(CORPUS, t, name + ".json"))
    write(t, "minimal.json", '{"drives": [{"number": 1, "type": "enclosure"}]}')
    write(t, "rebuild-size-zero.json",
          '{"drives": [{"number": 0, "type": "enclosure", "rebuild": {"member": "HDD2", "size": 1, "speed": 1}}],'
          ' "timeline": [{"at": 0.5, "drive": 0, "event": "rebuild-started", "member": "HDD1", "speed": "0xFFFFFFFF"}]}')
    write(t, "smallest-flash.json",
          '{"drives": [{"number": 9, "type": "enclosure", "firmware": {"size": 256}, "mode": 200,'
          ' "members": [{"state": 255}, {"state": "absent"}]}], "faults": [{"drive": 9, "kind": "late", "polls": 3}]}')
    write(t, "smart-event.json",
          '{"drives": [{"number": 1, "type": "enclosure"}], "timeline": [{"at": 100, "drive": 1, "event": "smart",'
          ' "member": "HDD1", "attribute": {"id": 5, "value": 90, "worst": 90, "threshold": 36, "raw": 24}}]}')
    write(t, "not-json", '{"drives": [ // unfinished')
    # Found by fuzzing: a number too large for any type once ended the program.
    write(t, "number-overflow.json",
          '{"drives": [{"number": 1, "type": "enclosure", "members": [{"capacity": 195352E5168}, {}]}]}')


def outbox_mail():
    t = "outbox_mail"
    write(t, "waiting", "RODE RUR outbox mail 1\r\nKind: 1\r\nRaised: 1773478830\r\nNext-Try: 1773478890\r\n"
                        "Attempts: 1\r\nLast-Error: Sending mail to 127.0.0.1 port 2525 failed.\r\n"
                        "To: ops@example.com\r\nTo: boss@example.org\r\n"
                        "Subject: [RODE RUR v0.50.11-3 Message] Member disk lost\r\n\r\n"
                        "Device1 P1 Hard Disk Drive fail.\r\nDevice1 information :\r\n\r\nSwap the disk.\r\n")
    write(t, "bad-kind", "RODE RUR outbox mail 1\nKind: 9\nTo: a@b\n\n")
    write(t, "carriage-return", "RODE RUR outbox mail 1\r\nKind: 4\r\nTo: a@b\r\nSubject: x\ry\r\n\r\n")
    write(t, "huge-number", "RODE RUR outbox mail 1\nKind: 2\nRaised: 99999999999999999999999\nTo: a@b\n\n")


def disk_health():
    t = "disk_health"
    write(t, "two-disks", "RODE RUR disk health 1\r\nWD-WCC6Y1234567\tWarning\t5=24\t197=3\t198=0\r\n"
                          "Z9A0B1C2\tGood\t5=0\t187=0\t188=0\r\n")
    write(t, "no-counts", "RODE RUR disk health 1\nS1\tError\n\tGood\n")
    write(t, "bad-count", "RODE RUR disk health 1\nS1\tGood\t5=99999999999999999999999\n")
    write(t, "bad-id", "RODE RUR disk health 1\nS1\tGood\t256=1\n")


def upgrade_journal():
    t = "upgrade_journal"
    write(t, "program-step", "device=1\ndrive=3\nenclosure=usb-152d-0562-000000000001\npath=/dev/sdc\n"
                             "product=RODE Dual Bay RAID\nfirmware=V1.02.03\nimage_size=65536\n"
                             "image_checksum=00a1b2c3\nstarted=2026/3/14 9:00:00\nstep=program\n")
    write(t, "bad-numbers", "device=0\ndrive=999\nstep=none\n")
    write(t, "no-enclosure", "drive=2\ndevice=2\nimage_checksum=zz\r\nenclosure=\n")


def bay_memory():
    t = "bay_memory"
    write(t, "two-enclosures", "RODE RUR bays 2\r\nWD-WCC6Y1234567\tZ9A0B1C2\t2\r\n-\tZ9A0B1C2\t\r\n")
    write(t, "wrong-format", "not a bay memory\n")


def safe_text():
    t = "safe_text"
    write(t, "hostile", b"\x1b[31m<b>\"a\\b\" &\r\n\x00\xc2\x9b\xff\xc3\xa9")
    write(t, "unreadable-serial", b"\xff" * 20)
    write(t, "broken-sequences", b"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80ab\xe2\x82")
    write(t, "hex-looking", "hex:FFFF")


if __name__ == "__main__":
    os.makedirs(os.path.join(CORPUS, "scenario"), exist_ok=True)
    controller_answers()
    firmware_image()
    event_log()
    settings_text()
    scenario()
    outbox_mail()
    disk_health()
    upgrade_journal()
    bay_memory()
    safe_text()
