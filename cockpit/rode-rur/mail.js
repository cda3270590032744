// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm mail: the stored settings, the password, the recipients, a test mail and the outbox,
// each through the service's methods. A service without them gets a clear note in this panel.

import { MANAGER, MANAGER_PATH, call, element, errorText, isAbsentMethod, plain, announce } from "./service.js";

// The service keeps one recipient list for every alarm kind: the plain "to" list.
export const RECIPIENT_KIND = "to";
const PASSWORD_KEY = /^password$/i;
const NUMBER_TYPES = "ynqiuxtd";

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

// The words of a stored name for its label: "SenderAddress" → "Sender address".
export function labelOf(key) {
    const words = key.replace(/_/g, " ").replace(/([a-z0-9])([A-Z])/g, "$1 $2").toLowerCase();
    return words.charAt(0).toUpperCase() + words.slice(1);
}

export class MailPanel {
    constructor() {
        this.client = null;
        this.body = document.getElementById("mail-body");
        this.message = document.getElementById("mail-message");
        this.fields = document.getElementById("mail-fields");
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
        const recipients = [];
        let passwordSet = false;
        for (const [key, variant] of Object.entries(this.values)) {
            const value = plain(variant);
            if (PASSWORD_KEY.test(key)) {
                passwordSet = Boolean(value);
                continue;
            }
            if (variant.t === "as") {
                recipients.push(...value);
                continue;
            }
            const kind = fieldKind(variant.t);
            if (!kind)
                continue;
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
        document.getElementById("mail-password-input").placeholder = passwordSet ? "a password is set" : "no password set";
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
    async act(what, method, args, type, done) {
        try {
            const reply = await call(this.client, MANAGER_PATH, MANAGER, method, args, type);
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
            const value = input.type === "checkbox" ? input.checked
                : input.type === "number" ? Number(input.value) : input.value;
            if (value === plain(stored))
                continue;
            const reply = await this.act(`save ${labelOf(input.name).toLowerCase()}`, "SetMailSetting",
                                         [input.name, { t: stored.t, v: value }], "sv", "");
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
        await this.act("send a test mail", "SendTestMail", [], "", "The test mail was sent.");
        await this.loadOutbox();
    }

    async flush() {
        await this.act("send the queued mail", "FlushOutbox", [], "", "The outbox was sent.");
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
        const keys = [...new Set(mails.flatMap(mail => Object.keys(mail)))];
        const cell = value => element("td", { text: Array.isArray(value) ? value.join(", ") : String(value ?? "") });
        this.outboxTable.replaceChildren(element("table", { class: "outbox" },
            element("caption", { class: "visually-hidden", text: "Mails waiting in the outbox" }),
            element("thead", {}, element("tr", {}, ...keys.map(key => element("th", { scope: "col", text: labelOf(key) })))),
            element("tbody", {}, ...mails.map(mail => element("tr", {}, ...keys.map(key => cell(mail[key])))))));
    }
}
