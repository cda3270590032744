// SPDX-License-Identifier: GPL-3.0-or-later
// The recent events: the service's day log, newest first, read again whenever the service
// signals an event on the day shown.

import { MANAGER, MANAGER_PATH, call, element, errorText } from "./service.js";

const SHOWN_LINES = 100;

export function localDay(date = new Date()) {
    const pad = number => String(number).padStart(2, "0");
    return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}`;
}

export class EventsPanel {
    constructor() {
        this.client = null;
        this.day = document.getElementById("log-day");
        this.list = document.getElementById("log-lines");
        this.message = document.getElementById("log-message");
        this.day.value = localDay();
        this.day.addEventListener("change", () => this.load());
        document.getElementById("log-reload").addEventListener("click", () => this.load());
    }

    // An event of today's watch lands in today's log: read it again if today is shown.
    onEvent() {
        if (this.day.value === localDay())
            this.load();
    }

    async load() {
        const day = this.day.value || localDay();
        try {
            const [text] = await call(this.client, MANAGER_PATH, MANAGER, "GetLog", [day], "s");
            const lines = text.split("\n").filter(line => line.trim() !== "");
            const recent = lines.slice(-SHOWN_LINES).reverse();
            this.list.replaceChildren(...recent.map(line => element("li", { text: line })));
            this.message.textContent = lines.length === 0 ? `No events on ${day}.`
                : lines.length > SHOWN_LINES ? `The newest ${SHOWN_LINES} of ${lines.length} events of ${day}.`
                    : `${lines.length} ${lines.length === 1 ? "event" : "events"} on ${day}, the newest first.`;
        } catch (error) {
            this.list.replaceChildren();
            this.message.textContent = `The log of ${day} could not be read: ${errorText(error)}`;
        }
    }
}
