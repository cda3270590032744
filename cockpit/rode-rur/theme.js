// SPDX-License-Identifier: GPL-3.0-or-later
// Light or dark as the rest of Cockpit: the shell keeps the user's choice ("light", "dark" or
// "auto") under shell:style in the local storage; "auto" follows the browser.

const STYLE_KEY = "shell:style";
const DARK_CLASS = "rur-dark";

function wantsDark() {
    let style = "auto";
    try {
        style = window.localStorage.getItem(STYLE_KEY) || "auto";
    } catch {
        // Storage may be refused (private windows): the browser's preference decides.
    }
    if (style === "dark")
        return true;
    if (style === "light")
        return false;
    return window.matchMedia("(prefers-color-scheme: dark)").matches;
}

function apply() {
    document.documentElement.classList.toggle(DARK_CLASS, wantsDark());
}

export function followShellTheme() {
    apply();
    window.addEventListener("storage", event => {
        if (event.key === STYLE_KEY)
            apply();
    });
    window.matchMedia("(prefers-color-scheme: dark)").addEventListener("change", apply);
}
