// SPDX-License-Identifier: GPL-3.0-or-later
// A member's SMART grades as the service's GetSmart returns them: its heading, the verdict and the
// graded attributes in a table, the values as the program shows them.

import { element, plain } from "./service.js";

const COLUMNS = [
    ["id", "ID"], ["name", "Attribute"], ["value_text", "Value"], ["worst_text", "Worst"],
    ["threshold_text", "Threshold"], ["raw", "Raw"], ["status", "Grade"],
];

function asReport(reply) {
    const value = plain(reply);
    if (typeof value !== "string")
        return value;
    try {
        return JSON.parse(value);
    } catch {
        return value;
    }
}

function gradeClass(status) {
    const word = String(status || "").trim().toLowerCase();
    if (word.startsWith("error") || word.startsWith("fail"))
        return "grade-error";
    if (word.startsWith("warn"))
        return "grade-warning";
    return "";
}

export function renderSmart(bay, reply) {
    const report = asReport(reply);
    const title = typeof report === "object" && report !== null && report.heading
        ? String(report.heading).trim() : `SMART of HDD${bay}`;
    const heading = element("h3", { text: title });
    if (typeof report !== "object" || report === null)
        return element("div", {}, heading, element("pre", { class: "smart-text", text: String(report) }));

    const parts = [heading];
    if (report.thresholds_valid === false)
        parts.push(element("p", { class: "muted", text: "The disk reports no valid thresholds: the grades leave them out." }));
    const verdict = String(report.verdict || "").trim();
    if (verdict)
        parts.push(element("p", {}, "Verdict: ", element("strong", { class: gradeClass(verdict), text: verdict })));
    const rows = Array.isArray(report.rows) ? report.rows : Array.isArray(report) ? report : [];
    if (rows.length > 0) {
        const present = COLUMNS.filter(([key]) => rows.some(row => key in row));
        const head = element("tr", {}, ...present.map(([, label]) => element("th", { scope: "col", text: label })));
        const body = rows.map(row => element("tr", { class: gradeClass(row.status) },
            ...present.map(([key]) => element("td", { text: String(row[key] ?? "").trim() }))));
        parts.push(element("table", { class: "smart" },
            element("caption", { class: "visually-hidden", text: `SMART attributes of HDD${bay}` }),
            element("thead", {}, head), element("tbody", {}, ...body)));
    } else {
        parts.push(element("pre", { class: "smart-text", text: JSON.stringify(report, null, 2) }));
    }
    return element("div", {}, ...parts);
}
