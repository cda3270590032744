// SPDX-License-Identifier: GPL-3.0-or-later
// One enclosure on the page: its facts, its two members and the actions on it. The card is built
// once and its texts are updated in place, so a refresh never moves the keyboard focus.

import { ENCLOSURE, call, element, errorText, isAbsentMethod } from "./service.js";
import { renderSmart } from "./smart-view.js";
import { BACKUP_LENGTHS, downloadFirmwareBackup } from "./backup.js";

const HEALTH_WORDS = { healthy: "Healthy", degraded: "Degraded", failed: "Failed" };

// The member states the service names; anything else is shown as it comes, in the neutral colour.
const MEMBER_STATES = ["present", "rebuilding", "inserted", "failed", "absent"];

let cardCount = 0;

function factRow(list, label) {
    const value = element("dd");
    list.append(element("dt", { text: label }), value);
    return value;
}

function rebuilding(props) {
    const members = props.Members || [];
    return members.some(member => member.state === "rebuilding") || /rebuild/i.test(props.ArrayState || "");
}

export class EnclosureCard {
    constructor(client, path) {
        this.client = client;
        this.path = path;
        this.props = {};
        this.rows = new Map();
        const id = "enclosure-" + (++cardCount);

        this.title = element("h2", { id: id + "-title" });
        this.badge = element("span", { class: "badge", role: "img" });
        this.error = element("p", { class: "alert alert-warning", hidden: true });
        const facts = element("dl", { class: "facts" });
        this.fields = {
            device: factRow(facts, "Device"),
            firmware: factRow(facts, "Firmware"),
            mode: factRow(facts, "Mode"),
            capacity: factRow(facts, "Capacity"),
            array: factRow(facts, "Array"),
            rebuild: factRow(facts, "Rebuild progress"),
            fan: factRow(facts, "Fan"),
            temperature: factRow(facts, "Temperature"),
        };
        this.upgradeNote = element("p", { class: "alert alert-info", hidden: true });

        this.memberBody = element("tbody");
        const caption = element("caption", { text: "Member disks" });
        const head = element("thead", {}, element("tr", {},
            ...["Bay", "Model", "Serial", "Capacity", "State", "SMART"].map(text => element("th", { scope: "col", text }))));
        const table = element("table", { class: "members" }, caption, head, this.memberBody);
        this.smartArea = element("div", { class: "smart-area", "aria-live": "polite" });

        const backup = element("button", { type: "button", text: "Download a firmware backup" });
        backup.addEventListener("click", () => this.backup(backup));
        this.backupLength = element("select", { id: id + "-backup-length" },
            ...BACKUP_LENGTHS.map(([bytes, text]) => element("option", { value: String(bytes), text })));
        this.backupLength.value = String(BACKUP_LENGTHS[BACKUP_LENGTHS.length - 1][0]);
        this.backupNote = element("p", { class: "muted", "aria-live": "polite" });

        this.node = element("article", { class: "panel enclosure", "aria-labelledby": id + "-title" },
            element("div", { class: "panel-header" }, this.title, this.badge),
            this.error, this.upgradeNote, facts, table, this.smartArea,
            element("div", { class: "button-row" },
                element("label", { for: id + "-backup-length", text: "Read" }), this.backupLength, backup),
            this.backupNote);
    }

    update(changed) {
        Object.assign(this.props, changed);
        const p = this.props;
        this.title.textContent = (p.Product || "Enclosure") + (p.Path ? " — " + p.Path : "");
        const health = p.Health || "healthy";
        this.badge.textContent = HEALTH_WORDS[health] || health;
        this.badge.className = "badge badge-" + health;
        this.badge.setAttribute("aria-label", "Array health: " + this.badge.textContent);

        this.error.hidden = !p.Error;
        this.error.textContent = p.Error || "";
        this.upgradeNote.hidden = !p.Upgrade || p.Upgrade === "none";
        this.upgradeNote.textContent = p.Upgrade === "running" ? "A firmware upgrade is running."
            : "A firmware upgrade was left unfinished: finish it before relying on the array.";

        const f = this.fields;
        f.device.textContent = `Device ${p.Device ?? "?"} (drive ${p.Drive ?? "?"})`;
        f.firmware.textContent = (p.Firmware || "unknown") + (p.FirmwareValid === false ? " (not readable)" : "");
        f.mode.textContent = p.Mode || "unknown";
        f.capacity.textContent = p.CapacityText || "unknown";
        f.array.textContent = (p.ArrayState || "unknown") + (p.RedundancyNote ? " — " + p.RedundancyNote : "");
        this.showRebuild(p);
        f.fan.textContent = p.SensorShown ? `${p.Fan} rpm` : "not reported";
        f.temperature.textContent = p.SensorShown ? `${p.Temperature} °C` : "not reported";
        this.showMembers(p.Members || []);
    }

    showRebuild(p) {
        const cell = this.fields.rebuild;
        cell.replaceChildren();
        if (!rebuilding(p)) {
            cell.textContent = "no rebuild running";
            return;
        }
        const percent = Math.min(100, Math.max(0, Number(p.Progress) || 0));
        cell.append(element("progress", { max: "100", value: String(percent), "aria-label": "Rebuild progress" }),
                    ` ${percent} %`);
    }

    showMembers(members) {
        for (const member of members) {
            let row = this.rows.get(member.bay);
            if (!row) {
                row = this.memberRow(member.bay);
                this.rows.set(member.bay, row);
                this.memberBody.append(row.node);
            }
            const holdsDisk = member.state !== "absent";
            row.model.textContent = holdsDisk ? member.model || "" : "";
            row.serial.textContent = holdsDisk ? (member.serial || "").trim() : "";
            row.capacity.textContent = holdsDisk ? member.capacity_text || "" : "";
            row.state.textContent = member.state;
            row.state.className = "state state-" + (MEMBER_STATES.includes(member.state) ? member.state : "other");
            row.smart.disabled = !holdsDisk;
        }
    }

    memberRow(bay) {
        const smart = element("button", { type: "button", text: "Show SMART" });
        smart.setAttribute("aria-label", `Show the SMART grades of HDD${bay}`);
        smart.addEventListener("click", () => this.smart(bay, smart));
        const row = {
            model: element("td"), serial: element("td"), capacity: element("td"),
            state: element("span"), smart,
        };
        row.node = element("tr", { "data-bay": String(bay) },
            element("th", { scope: "row", text: "HDD" + bay }),
            row.model, row.serial, row.capacity, element("td", {}, row.state), element("td", {}, smart));
        return row;
    }

    async smart(bay, button) {
        button.disabled = true;
        this.smartArea.replaceChildren(element("p", { class: "muted", text: `Reading the SMART data of HDD${bay}…` }));
        try {
            const reply = await call(this.client, this.path, ENCLOSURE, "GetSmart", [bay], "u");
            this.smartArea.replaceChildren(renderSmart(bay, reply[0]));
        } catch (error) {
            const text = isAbsentMethod(error)
                ? "The service on this host cannot read SMART data yet: update rode-rur-daemon."
                : `The SMART data of HDD${bay} could not be read: ${errorText(error)}`;
            this.smartArea.replaceChildren(element("p", { class: "alert alert-warning", text }));
        } finally {
            button.disabled = false;
        }
    }

    async backup(button) {
        button.disabled = true;
        // The whole flash takes about a minute and a half; rurctl waits for the service's job.
        this.backupNote.textContent = "Reading the controller's flash…";
        try {
            const name = await downloadFirmwareBackup(this.props.Device, Number(this.backupLength.value));
            this.backupNote.textContent = `The backup was saved as ${name}.`;
        } catch (error) {
            this.backupNote.textContent = "The backup failed: " + errorText(error);
        } finally {
            button.disabled = false;
        }
    }
}
