// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/evaluate_smart.h"

#include <cstdio>

#include "smart/attribute_names.h"

namespace rur {
namespace {

constexpr std::uint8_t kErrorBit = 0x10;
const SmartPage kEmptyPage{};

std::string Decimal(unsigned value) { return std::to_string(value); }

}  // namespace

std::uint8_t AttributeGrade(const SmartAttribute& a) {
  // The worst value is compared, strictly: a disk that touched its threshold has not failed.
  const bool belowThreshold = a.worst < a.threshold;
  const bool raw = a.rawNonZero();
  switch (a.id) {
    case 5:  // reallocated sectors
      return belowThreshold ? kGradeError : raw ? kGradeCounted : kGradeGood;
    case 7:
    case 8: return belowThreshold ? kGradeError : kGradeGood;
    case 10:  // spin-up retries
      return belowThreshold ? kGradeError : raw ? kGradeAlert : kGradeGood;
    case 11: return raw ? kGradeAlert : kGradeGood;
    case 190:  // airflow temperature
      return belowThreshold ? kGradeAlert : kGradeGood;
    case 196:
    case 198:
    case 199: return raw ? kGradeCounted : kGradeGood;
    case 197:  // pending sectors weigh double
      return raw ? kGradePending : kGradeGood;
    default: return kGradeGood;
  }
}

SmartVerdict VerdictOfGrade(std::uint8_t driveGrade) {
  if (driveGrade & kErrorBit) return SmartVerdict::Error;
  return driveGrade >= kGradePending ? SmartVerdict::Warning : SmartVerdict::Good;
}

std::string_view VerdictName(SmartVerdict verdict) {
  switch (verdict) {
    case SmartVerdict::Error: return "Error";
    case SmartVerdict::Warning: return "Warning";
    case SmartVerdict::Good: break;
  }
  return "Good";
}

std::string SmartNameCell(std::uint8_t id) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02X", id);
  if (const auto name = FindSmartAttributeName(id)) return std::string(digits) + "-" + std::string(*name);
  return std::string(digits) + "h-UnKnown";
}

std::string SmartRawCell(const std::array<std::uint8_t, kSmartRawSize>& raw) {
  std::string text;
  char pair[3];
  for (std::size_t i = kSmartRawSize; i-- > 0;) {
    std::snprintf(pair, sizeof pair, "%02X", raw[i]);
    text += pair;
  }
  return text;
}

std::string SmartHeading(std::string_view bayCaption, std::string_view modelText) {
  return " SMART - " + std::string(bayCaption) + " : " + std::string(modelText);
}

std::string_view BayCaption(unsigned bay) { return bay == 0 ? "HDD1" : "HDD2"; }

SmartPageModel EvaluateSmart(const SmartEvaluationInput& input) {
  SmartPageModel model;
  model.bay = input.bay;
  model.rowColours.fill(kRgbWhite);
  model.rowCount = LeadingAttributeCount(input.data);
  model.heading = SmartHeading(input.bayCaption, input.modelText);

  if (model.rowCount == 0) {
    model.gridVisible = false;
    model.driveGrade = 0;
    model.verdict.clear();
    model.gridFocused = false;
    return model;
  }
  model.gridVisible = true;

  // The verdict is built from this page alone. Carrying the last evaluation's grade into this one
  // would add the same warning counts again each time the page is drawn, so a healthy disk with
  // one reallocated sector would drift to a warning and then to an error on unchanged data.
  std::uint8_t verdictGrade = 0;
  for (std::size_t position = 0; position < kSmartEntryCount; ++position) {
    SmartRow row;
    row.attribute = ReadSmartAttribute(input.data, input.thresholds, position);
    if (row.attribute.id == 0) continue;
    row.grade = AttributeGrade(row.attribute);

    if (row.grade == kGradeError) {
      row.colour = kRgbRed;
      row.cells[kColumnStatus] = "Error";
    } else if (row.grade == kGradeGood) {
      row.colour = kRgbWhite;
      row.cells[kColumnStatus] = "Good";
    } else {
      row.colour = kRgbYellow;
      row.cells[kColumnStatus] = "Alert";
    }

    // Warning counts add up until an error is seen; an alert or error then lifts the total to
    // at least its own grade.
    if ((verdictGrade & kErrorBit) == 0) {
      if (row.grade == kGradeError)
        verdictGrade = kGradeError;
      else if (row.grade <= kGradePending)
        verdictGrade = static_cast<std::uint8_t>(verdictGrade + row.grade);
    }
    if (row.grade > verdictGrade) verdictGrade = row.grade;

    row.cells[kColumnName] = SmartNameCell(row.attribute.id);
    row.cells[kColumnCurrent] = Decimal(row.attribute.current);
    row.cells[kColumnWorst] = Decimal(row.attribute.worst);
    row.cells[kColumnThreshold] = Decimal(row.attribute.threshold);
    row.cells[kColumnRaw] = SmartRawCell(row.attribute.raw);

    model.rowColours[model.rows.size()] = row.colour;
    model.rows.push_back(std::move(row));
  }

  switch (VerdictOfGrade(verdictGrade)) {
    case SmartVerdict::Error:
      model.verdict = " Error ";
      model.verdictColour = kRgbRed;
      break;
    case SmartVerdict::Warning:
      model.verdict = " Warning ";
      model.verdictColour = kRgbMaroon;
      break;
    case SmartVerdict::Good:
      model.verdict = " Good ";
      model.verdictColour = kRgbBlack;
      break;
  }
  model.driveGrade = verdictGrade;
  model.focusGrid = !input.gridFocused;
  model.gridFocused = true;
  return model;
}

SmartPageModel EvaluateSmart(SmartState& state, unsigned slot, std::string_view modelText) {
  const unsigned bay = state.smartBay < kSmartBays ? state.smartBay : 0;
  const bool stored = slot < kSmartSlots;
  const SmartBayPages* pages = stored ? &state.store[slot][bay] : nullptr;
  SmartPageModel model =
      EvaluateSmart(SmartEvaluationInput{stored ? pages->data : kEmptyPage, stored ? pages->thresholds : kEmptyPage,
                                         bay, BayCaption(bay), modelText, state.gridFocused});
  if (stored) state.driveGrade[slot][bay] = model.driveGrade;
  state.gridFocused = model.gridFocused;
  return model;
}

SmartCellSelection SelectSmartCell(const SmartPageModel& model, const SmartPage& data, std::size_t column,
                                   std::size_t row) {
  SmartCellSelection selection;
  if (column == kColumnName) {
    selection.hint = row < model.rows.size() ? model.rows[row].cells[kColumnName] : std::string();
    selection.panelText = selection.hint;
  } else if (column == kColumnRaw && row < kSmartEntryCount) {
    // Read again from the page, so the panel shows the page's bytes even if the grid is stale.
    selection.hint = SmartRawCell(ReadSmartAttribute(data, kEmptyPage, row).raw);
    selection.panelText = selection.hint;
  }
  return selection;
}

}  // namespace rur
