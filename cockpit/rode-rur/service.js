// SPDX-License-Identifier: GPL-3.0-or-later
// The one connection of the page: the service org.roderur.RodeRur1 on the system bus, and the
// helpers that turn its answers and failures into what the page shows.

/* global cockpit */

export const SERVICE = "org.roderur.RodeRur1";
export const MANAGER_PATH = "/org/roderur/RodeRur1";
export const MANAGER = SERVICE + ".Manager";
export const ENCLOSURE = SERVICE + ".Enclosure";
export const PROPERTIES = "org.freedesktop.DBus.Properties";

// "try": with administrative access on, the service sees root and polkit lets the mail settings
// and the backup through; without it, the service asks polkit for the user.
export function connect() {
    return cockpit.dbus(SERVICE, { bus: "system", superuser: "try" });
}

// cockpit.dbus hands a variant over as {t: signature, v: value}, nested as deep as the value is.
export function plain(value) {
    if (Array.isArray(value))
        return value.map(plain);
    if (value !== null && typeof value === "object") {
        const keys = Object.keys(value);
        if (keys.length === 2 && typeof value.t === "string" && "v" in value)
            return plain(value.v);
        return Object.fromEntries(keys.map(key => [key, plain(value[key])]));
    }
    return value;
}

const ABSENT_METHOD_ERRORS = [
    "org.freedesktop.DBus.Error.UnknownMethod",
    "org.freedesktop.DBus.Error.UnknownInterface",
    "org.freedesktop.DBus.Error.UnknownObject",
];

const NO_SERVICE_ERRORS = [
    "org.freedesktop.DBus.Error.ServiceUnknown",
    "org.freedesktop.DBus.Error.NameHasNoOwner",
];

// A service older than the page lacks some methods: the panel says so instead of failing.
export function isAbsentMethod(error) {
    if (!error)
        return false;
    if (ABSENT_METHOD_ERRORS.includes(error.name))
        return true;
    // The bridge answers a call it finds no introspection data for with a message only.
    return /introspection data .* not available|no such method|unknown method/i.test(String(error.message));
}

export function isServiceGone(error) {
    return Boolean(error) && (NO_SERVICE_ERRORS.includes(error.name) || error.problem === "not-found");
}

const ERROR_PREFIX = SERVICE + ".Error.";

// The service's own errors carry a message a user can act on; the others get their name's last word.
export function errorText(error) {
    if (!error)
        return "unknown error";
    const message = error.message || error.problem || String(error);
    if (error.name === ERROR_PREFIX + "NotAuthorized")
        return "not authorized: " + message + " (turn on administrative access)";
    if (error.name === "org.freedesktop.DBus.Error.AccessDenied")
        return "not authorized: " + message;
    return message;
}

// `extra`: further options of the call, such as a timeout in milliseconds for a method that waits
// on something slower than the bus.
export function call(client, path, iface, method, args = [], type = undefined, extra = {}) {
    const options = type === undefined ? { ...extra } : { type, ...extra };
    return client.call(path, iface, method, args, options);
}

export async function allProperties(client, path, iface) {
    const [values] = await call(client, path, PROPERTIES, "GetAll", [iface], "s");
    return plain(values);
}

// Text into an element, never markup: every string from the service is shown as it is.
export function element(tag, attributes = {}, ...children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
        if (name === "text")
            node.textContent = value;
        else if (name.startsWith("on"))
            node.addEventListener(name.slice(2), value);
        else if (value !== false && value !== undefined && value !== null)
            node.setAttribute(name, value === true ? "" : value);
    }
    for (const child of children)
        node.append(child);
    return node;
}

const statusRegion = () => document.getElementById("status");

// One line for screen readers and sighted users alike about the last action's outcome.
export function announce(text) {
    statusRegion().textContent = text;
}
