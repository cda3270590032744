// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware backup as a file download. The service writes the flash into a descriptor its
// caller opened, and a page cannot hand a descriptor over D-Bus; rurctl can, and asks the same
// service (with the same polkit check), so the page runs rurctl with the backup on its standard
// output and offers the bytes it gets as a download.

/* global cockpit */

export const RURCTL = "rurctl";

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
export async function downloadFirmwareBackup(device) {
    const bytes = await cockpit.spawn([RURCTL, "firmware-backup", "-", "--device", String(device ?? 1)],
                                      { binary: true, superuser: "try", err: "message" });
    if (!bytes || bytes.length === 0)
        throw new Error("rurctl returned no bytes");
    const name = backupFileName(device ?? 1);
    offerDownload(bytes, name);
    return name;
}
