#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the files of one virtual-machine test run in RUN_DIR:

files/firmware.bin   a small firmware image the upgrade writes (8 KiB, version 15020310)
disk.img             what the enclosure's array holds: an MBR with one Linux partition at
                     LBA 2048 carrying a small ext2 file system with volume.txt
"""
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

GUID = bytes([0xEF, 0x6D, 0x16, 0xAE, 0xDC, 0x6F, 0x4C, 0x47, 0x9B, 0xA4, 0xB6, 0xAA, 0xE4, 0xB6, 0x9A, 0x84])
IMAGE_SIZE = 8192
IMAGE_VERSION = 0x15020310  # its lowest byte agrees with the member order the enclosure reports
IMAGE_TYPE = 0x01
PRODUCT_CODE = bytes([0x27, 0x60])

PARTITION_START = 2048  # sectors
PARTITION_SECTORS = 8192
VOLUME_TEXT = "RODE RUR test volume\n"


def firmware_image(size: int = IMAGE_SIZE, version: int = IMAGE_VERSION) -> bytes:
    generator = random.Random(13)
    image = bytearray(generator.randbytes(size))
    image[0x80:0x84] = b"QOVA"
    image[0x84:0x94] = GUID
    image[0x95] = IMAGE_TYPE
    image[0x9C:0xA0] = struct.pack(">I", version)
    image[0xA0:0xA2] = PRODUCT_CODE
    return bytes(image)


def disk_image(folder: Path) -> bytes:
    with tempfile.TemporaryDirectory() as temporary:
        content = Path(temporary) / "content"
        content.mkdir()
        (content / "volume.txt").write_text(VOLUME_TEXT)
        partition = Path(temporary) / "partition.img"
        subprocess.run(["mke2fs", "-q", "-F", "-t", "ext2", "-b", "1024", "-L", "RURVOL", "-d", str(content),
                        str(partition), str(PARTITION_SECTORS // 2)], check=True, stdout=subprocess.DEVNULL)
        filesystem = partition.read_bytes()
    mbr = bytearray(512)
    mbr[440:444] = struct.pack("<I", 0x52555231)  # disk signature
    # One primary partition: not bootable, CHS fields unused (0xFE 0xFF 0xFF), type 83h Linux.
    mbr[446:462] = bytes([0x00, 0xFE, 0xFF, 0xFF, 0x83, 0xFE, 0xFF, 0xFF]) + struct.pack(
        "<II", PARTITION_START, PARTITION_SECTORS)
    mbr[510:512] = b"\x55\xAA"
    return bytes(mbr) + bytes((PARTITION_START - 1) * 512) + filesystem


def main() -> None:
    run = Path(sys.argv[1])
    (run / "files").mkdir(parents=True, exist_ok=True)
    (run / "files" / "firmware.bin").write_bytes(firmware_image())
    (run / "disk.img").write_bytes(disk_image(run))


if __name__ == "__main__":
    main()
