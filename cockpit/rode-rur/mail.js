// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm mail: the stored settings, the password, the recipients, a test mail and the outbox,
// each through the service's methods. A service without them gets a clear note in this panel.

import { MANAGER, MANAGER_PATH, call, element, errorText, isAbsentMethod, plain, announce } from "./service.js";

// The service keeps one recipient list for every alarm kind.
export const RECIPIENT_KIND = "alarm";
const NUMBER_TYPES = "ynqiuxtd";
// A test mail and a flush wait for the mail server as long as its settings allow (an hour to
// connect and as long to send at most), far beyond the bus's usual call time-out.
const DELIVERY_CALL_MS = 2 * 60 * 60 * 1000;

// The settings the service takes back, under the names it uses, with their labels, in the order of
// the form. What else it reports (the settings file, the recipients, ...) is shown, not edited.
export const SETTING_LABELS = [
    ["SMTP", "SMTP server"], ["Port", "Port"], ["ImplicitTLS", "Implicit TLS (1, 0 or empty: by port)"],
    ["CAFile", "CA certificates file"], ["AllowPlainLogin", "Allow a login without TLS"],
    ["UserName", "Sender name"], ["Addr", "Sender address"], ["Login", "Log in to the server"],
    ["UserID", "Account"], ["TimeOut", "Time-out in seconds"], ["EMailSend", "Alarm kinds not mailed (mask)"],
    ["FilePath", "Mail folder"], ["FanMinRPM", "Fan alarm below (rpm)"], ["TempAlarm", "Temperature alarm from (°C)"],
];

// How a stored value is edited: text, a number or a check box, after its D-Bus type.
export function fieldKind(signature) {
    if (signature === "b")
        return "checkbox";
    if (NUMBER_TYPES.includes(signature) && signature.length === 1)
        return "number";
    if (signature === "s")
        return "text";
    return null;
}

// The label of a setting, or the words of its name: "last_error" → "Last error".
export function labelOf(key) {
    const known = SETTING_LABELS.find(([name]) => name === key);
    if (known)
        return known[1];
    const words = key.replace(/_/g, " ").replace(/([a-z0-9])([A-Z])/g, "$1 $2").toLowerCase();
    return words.charAt(0).toUpperCase() + words.slice(1);
}

// A setting's new value as the service takes it: always text, a switch as 1 or 0.
export function settingText(input) {
    if (input.type === "checkbox")
        return input.checked ? "1" : "0";
    return input.value.trim();
}

// How long a mail has waited, in the largest whole unit.
export function ageText(seconds) {
    const s = Math.max(0, Number(seconds) || 0);
    if (s < 120)
        return `${s} s`;
    if (s < 7200)
        return `${Math.floor(s / 60)} min`;
    if (s < 172800)
        return `${Math.floor(s / 3600)} h`;
    return `${Math.floor(s / 86400)} days`;
}

// The outbox's columns: what a user needs to see of a waiting mail.
const OUTBOX_COLUMNS = [
    ["caption", "Alarm"], ["recipients", "Recipients"], ["attempts", "Attempts"],
    ["age_seconds", "Waiting for"], ["last_error", "Last error"],
];

export class MailPanel {
    constructor() {
        this.client = null;
        this.body = document.getElementById("mail-body");
        this.message = document.getElementById("mail-message");
        this.fields = document.getElementById("mail-fields");
        this.facts = document.getElementById("mail-facts");
        this.recipients = document.getElementById("recipient-list");
        this.outboxTable = document.getElementById("outbox-table");
        this.outboxMessage = document.getElementById("outbox-message");
        this.values = {};

        document.getElementById("mail-settings").addEventListener("submit", event => {
            event.preventDefault();
            this.save();
        });
        document.getElementById("mail-password").addEventListener("submit", event => {
            event.preventDefault();
            this.setPassword();
        });
        document.getElementById("recipient-add").addEventListener("submit", event => {
            event.preventDefault();
            this.addRecipient();
        });
        document.getElementById("mail-test").addEventListener("click", () => this.testMail());
        document.getElementById("outbox-reload").addEventListener("click", () => this.loadOutbox());
        document.getElementById("outbox-flush").addEventListener("click", () => this.flush());
    }

    async load() {
        try {
            const [values] = await call(this.client, MANAGER_PATH, MANAGER, "GetMailSettings", [], "");
            this.values = values;
            this.body.hidden = false;
            this.message.textContent = "";
            this.showSettings();
            await this.loadOutbox();
        } catch (error) {
            this.body.hidden = true;
            this.message.textContent = isAbsentMethod(error)
                ? "The service on this host does not manage the alarm mail yet: update rode-rur-daemon."
                : "The mail settings could not be read: " + errorText(error);
        }
    }

    showSettings() {
        const inputs = [];
        const fact = key => plain(this.values[key]);
        for (const [key] of SETTING_LABELS) {
            const variant = this.values[key];
            const kind = variant ? fieldKind(variant.t) : null;
            if (!kind)
                continue;
            const value = plain(variant);
            const id = "mail-field-" + key;
            const input = element("input", { id, name: key, type: kind });
            if (kind === "checkbox")
                input.checked = Boolean(value);
            else
                input.value = String(value);
            inputs.push(element("div", { class: "field field-" + kind },
                element("label", { for: id, text: labelOf(key) }), input));
        }
        this.fields.replaceChildren(...inputs);
        const stored = fact("Stored");
        const where = String(fact("SettingsFile") ?? "");
        this.facts.replaceChildren(
            element("li", { text: stored ? `Stored in ${where}.` : `No mail settings are stored yet: the defaults are shown, and saving writes ${where}.` }),
            element("li", { text: `Mails that could not go out wait in ${fact("OutboxFolder") ?? ""}.` }));
        const passwordSet = Boolean(fact("PasswordSet"));
        document.getElementById("mail-password-input").placeholder = passwordSet ? "a password is set" : "no password set";
        if (passwordSet && fact("PasswordDecodes") === false)
            this.facts.append(element("li", { class: "alert alert-warning",
                                               text: "The stored password cannot be read back: set it again." }));
        const recipients = fact("Recipients") || [];
        this.recipients.replaceChildren(...recipients.map(address => {
            const remove = element("button", { type: "button", class: "link-button", text: "Remove" });
            remove.setAttribute("aria-label", "Remove " + address);
            remove.addEventListener("click", () => this.removeRecipient(address));
            return element("li", {}, element("span", { text: address }), remove);
        }));
        if (recipients.length === 0)
            this.recipients.replaceChildren(element("li", { class: "muted", text: "No recipients yet." }));
    }

    // Runs one method of the service and tells the outcome; the settings are read again after it.
    async act(what, method, args, type, done, extra = {}) {
        try {
            const reply = await call(this.client, MANAGER_PATH, MANAGER, method, args, type, extra);
            announce(done);
            return reply;
        } catch (error) {
            announce(isAbsentMethod(error) ? `The service on this host cannot ${what} yet: update rode-rur-daemon.`
                : `Could not ${what}: ${errorText(error)}`);
            return null;
        }
    }

    async save() {
        let saved = 0;
        for (const input of this.fields.querySelectorAll("input")) {
            const stored = this.values[input.name];
            const before = plain(stored);
            const value = settingText(input);
            if (value === (typeof before === "boolean" ? (before ? "1" : "0") : String(before)))
                continue;
            const reply = await this.act(`save ${labelOf(input.name).toLowerCase()}`, "SetMailSetting",
                                         [input.name, { t: "s", v: value }], "sv", "");
            if (reply === null)
                return;
            ++saved;
        }
        announce(saved === 0 ? "Nothing to save." : `Saved ${saved} ${saved === 1 ? "setting" : "settings"}.`);
        await this.load();
    }

    async setPassword() {
        const input = document.getElementById("mail-password-input");
        if (await this.act("set the password", "SetMailPassword", [input.value], "s", "The password is set.") !== null) {
            input.value = "";
            await this.load();
        }
    }

    async addRecipient() {
        const input = document.getElementById("recipient-address");
        const address = input.value.trim();
        if (await this.act("add " + address, "AddRecipient", [RECIPIENT_KIND, address], "ss",
                           `${address} receives the alarm mails.`) !== null) {
            input.value = "";
            await this.load();
        }
    }

    async removeRecipient(address) {
        if (await this.act("remove " + address, "RemoveRecipient", [RECIPIENT_KIND, address], "ss",
                           `${address} no longer receives the alarm mails.`) !== null)
            await this.load();
    }

    async testMail() {
        announce("Sending the test mail…");
        await this.act("send a test mail", "SendTestMail", [], "", "The test mail was sent.",
                       { timeout: DELIVERY_CALL_MS });
        await this.loadOutbox();
    }

    async flush() {
        announce("Sending the waiting mails…");
        const reply = await this.act("send the queued mail", "FlushOutbox", [], "",
                                     "The waiting mails were tried again.", { timeout: DELIVERY_CALL_MS });
        // What this flush did itself; an older service answers nothing.
        const report = reply && reply.length > 0 ? plain(reply[0]) : null;
        if (report && typeof report.tried === "number") {
            const parts = [`${report.sent} of ${report.tried} waiting mails sent`];
            if (report.refused > 0)
                parts.push(`${report.refused} refused by the server for good`);
            if (report.given_up > 0)
                parts.push(`${report.given_up} given up`);
            if (report.settled_elsewhere > 0)
                parts.push(`${report.settled_elsewhere} sent or removed by another sender meanwhile`);
            announce(parts.join("; ") + ".");
        }
        await this.loadOutbox();
    }

    async loadOutbox() {
        try {
            const [mails] = await call(this.client, MANAGER_PATH, MANAGER, "GetOutbox", [], "");
            this.showOutbox(plain(mails));
        } catch (error) {
            this.outboxTable.replaceChildren();
            this.outboxMessage.textContent = isAbsentMethod(error)
                ? "The service on this host does not show its outbox yet: update rode-rur-daemon."
                : "The outbox could not be read: " + errorText(error);
        }
    }

    showOutbox(mails) {
        if (mails.length === 0) {
            this.outboxMessage.textContent = "The outbox is empty: every alarm mail went out.";
            this.outboxTable.replaceChildren();
            return;
        }
        this.outboxMessage.textContent = `${mails.length} ${mails.length === 1 ? "mail waits" : "mails wait"} to be sent.`;
        const shown = (key, value) => key === "age_seconds" ? ageText(value)
            : Array.isArray(value) ? value.join(", ") : String(value ?? "");
        this.outboxTable.replaceChildren(element("table", { class: "outbox" },
            element("caption", { class: "visually-hidden", text: "Mails waiting in the outbox" }),
            element("thead", {}, element("tr", {},
                ...OUTBOX_COLUMNS.map(([, label]) => element("th", { scope: "col", text: label })))),
            element("tbody", {}, ...mails.map(mail => element("tr", { "data-id": String(mail.id ?? "") },
                ...OUTBOX_COLUMNS.map(([key]) => element("td", { text: shown(key, mail[key]) })))))));
    }
}
