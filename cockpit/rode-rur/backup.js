// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware backup as a file download. The service writes the flash into a descriptor its
// caller opened, and a page cannot hand a descriptor over D-Bus; rurctl can, and asks the same
// service (with the same polkit check). So the page has rurctl write the backup into a private
// temporary folder, reads the file and offers its bytes as a download: rurctl renames the file
// into place only once complete, so a failed read never turns into a download.

/* global cockpit */

export const RURCTL = "rurctl";

// How much of the flash to read: the firmware sits at its start, the whole chip takes longest.
export const BACKUP_LENGTHS = [
    [65536, "the first 64 KiB"],
    [262144, "the first 256 KiB"],
    [1048576, "the whole flash (1 MiB)"],
];

export function backupFileName(device, now = new Date()) {
    const day = now.toISOString().slice(0, 10);
    return `rode-rur-device${device}-flash-${day}.bin`;
}

function offerDownload(bytes, name) {
    const url = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    const link = document.createElement("a");
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// Resolves with the file's name once the download is offered; rejects with rurctl's own message.
export async function downloadFirmwareBackup(device, length) {
    const options = { superuser: "try", err: "message" };
    const folder = (await cockpit.spawn(["mktemp", "-d", "--tmpdir", "rode-rur-backup.XXXXXX"], options)).trim();
    try {
        const path = folder + "/flash.bin";
        await cockpit.spawn([RURCTL, "firmware-backup", path, "--device", String(device ?? 1),
                            "--length", String(length)], options);
        const bytes = await cockpit.file(path, { binary: true, superuser: "try" }).read();
        if (!bytes || bytes.length === 0)
            throw new Error("rurctl wrote no bytes");
        const name = backupFileName(device ?? 1);
        offerDownload(bytes, name);
        return name;
    } finally {
        cockpit.spawn(["rm", "-rf", "--", folder], options).catch(() => {});
    }
}
