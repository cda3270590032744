// SPDX-License-Identifier: GPL-3.0-or-later
// The RAID enclosures page: follows the service's owner on the bus, lists its enclosures and keeps
// them current from the service's signals, without reloading.

/* global cockpit */

import { ENCLOSURE, MANAGER, MANAGER_PATH, PROPERTIES, SERVICE, allProperties, call, connect, element,
    errorText, isServiceGone, plain } from "./service.js";
import { EnclosureCard } from "./enclosure-card.js";
import { EventsPanel } from "./events.js";
import { MailPanel } from "./mail.js";
import { followShellTheme } from "./theme.js";

const cards = new Map();
const events = new EventsPanel();
const mail = new MailPanel();
const list = document.getElementById("enclosure-list");
let client = null;

function showService(up, version = "") {
    document.getElementById("service-down").hidden = up;
    for (const id of ["enclosures", "events", "mail"])
        document.getElementById(id).hidden = !up;
    document.getElementById("service-version").textContent = up && version ? "rode-rurd " + version : "";
    document.getElementById("page").setAttribute("aria-busy", "false");
}

// Brings the cards in line with the service's list: new enclosures get a card, gone ones lose it.
async function listEnclosures(from) {
    const [paths] = await call(from, MANAGER_PATH, MANAGER, "GetEnclosures", [], "");
    for (const [path, card] of cards) {
        if (!paths.includes(path)) {
            card.node.remove();
            cards.delete(path);
        }
    }
    for (const path of paths) {
        let card = cards.get(path);
        if (!card) {
            card = new EnclosureCard(from, path);
            cards.set(path, card);
        }
        list.append(card.node);
        // One enclosure the service cannot describe keeps its card, saying so; the others show.
        try {
            card.update(await allProperties(from, path, ENCLOSURE));
        } catch (error) {
            if (isServiceGone(error))
                throw error;
            card.update({ Error: `The enclosure at ${path} could not be read: ${errorText(error)}` });
        }
    }
    document.getElementById("no-enclosures").hidden = paths.length > 0;
}

async function start(from) {
    try {
        const manager = await allProperties(from, MANAGER_PATH, MANAGER);
        await listEnclosures(from);
        showService(true, manager.Version);
        await Promise.all([events.load(), mail.load()]);
    } catch (error) {
        if (isServiceGone(error)) {
            stop();
            return;
        }
        showService(true);
        list.replaceChildren(element("p", { class: "alert alert-danger",
                                             text: "The enclosures could not be read: " + errorText(error) }));
    }
}

function stop() {
    for (const card of cards.values())
        card.node.remove();
    cards.clear();
    showService(false);
}

// A connection to the service lasts as long as the service: the bridge closes it when the name
// has no owner, and a new one is opened when the service comes back.
function open() {
    if (client)
        client.close();
    const mine = connect();
    client = mine;
    events.client = mine;
    mail.client = mine;
    mine.addEventListener("close", () => {
        if (client === mine) {
            client = null;
            stop();
        }
    });
    mine.addEventListener("owner", (_event, owner) => {
        if (!owner && client === mine)
            stop();
    });
    mine.subscribe({ interface: PROPERTIES, member: "PropertiesChanged", path_namespace: MANAGER_PATH },
                   (path, _iface, _signal, [iface, changed]) => {
                       if (iface === ENCLOSURE && cards.has(path))
                           cards.get(path).update(plain(changed));
                       else if (iface === MANAGER && "Enclosures" in changed)
                           listEnclosures(mine).catch(() => {});
                   });
    mine.subscribe({ interface: MANAGER, member: "Event", path: MANAGER_PATH }, () => events.onEvent());
    start(mine);
}

// The bus itself tells when the service takes its name or leaves it.
const bus = cockpit.dbus("org.freedesktop.DBus", { bus: "system" });
bus.subscribe({ interface: "org.freedesktop.DBus", member: "NameOwnerChanged", path: "/org/freedesktop/DBus",
                arg0: SERVICE },
              (_path, _iface, _signal, [, , owner]) => {
                  if (owner)
                      open();
                  else
                      stop();
              });

followShellTheme();
open();
