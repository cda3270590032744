// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/smart_report.h"

#include <cstdio>

namespace rur {
namespace {

std::string Trim(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string RgbText(Rgb colour) {
  char text[8];
  std::snprintf(text, sizeof text, "%06X", colour & 0xFFFFFFu);
  return text;
}

std::string SmartText(const SmartPageModel& model) {
  std::string text = Trim(model.heading) + "\n";
  if (!model.gridVisible) return text + "  (no attributes)\n";
  char line[160];
  std::snprintf(line, sizeof line, "  %-40s %5s %5s %9s %12s  %s\n", "ID", "Value", "Worst", "Threshold", "RAW",
                "Status");
  text += line;
  for (std::size_t r = 0; r < model.rowCount && r < model.rows.size(); ++r) {
    const auto& c = model.rows[r].cells;
    std::snprintf(line, sizeof line, "  %-40s %5s %5s %9s %12s  %s\n", c[kColumnName].c_str(),
                  c[kColumnCurrent].c_str(), c[kColumnWorst].c_str(), c[kColumnThreshold].c_str(),
                  c[kColumnRaw].c_str(), c[kColumnStatus].c_str());
    text += line;
  }
  return text + "  Verdict: " + Trim(model.verdict) + "\n";
}

nlohmann::json SmartJson(const SmartPageModel& model, unsigned device, unsigned bay) {
  nlohmann::json rows = nlohmann::json::array();
  for (std::size_t r = 0; r < model.rowCount && r < model.rows.size(); ++r) {
    const SmartRow& row = model.rows[r];
    rows.push_back({{"id", row.attribute.id},
                    {"name", row.cells[kColumnName]},
                    {"value", row.attribute.current},
                    {"worst", row.attribute.worst},
                    {"threshold", row.attribute.threshold},
                    {"raw", row.cells[kColumnRaw]},
                    {"status", row.cells[kColumnStatus]},
                    {"colour", RgbText(row.colour)}});
  }
  return {{"device", device},
          {"bay", bay},
          {"heading", model.heading},
          {"verdict", model.verdict},
          {"verdict_colour", RgbText(model.verdictColour)},
          {"rows", rows}};
}

}  // namespace rur
