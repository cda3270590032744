// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Grading of the SMART attributes of one bay and the model of what the SMART page shows for it:
// the grid rows with their colours, the heading, the verdict and which bay button is lit.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "smart/smart_page.h"
#include "smart/smart_state.h"

namespace rur {

// AttributeGrade values: 1 and 2 count toward a warning, 16 (bit 4) is an error.
constexpr std::uint8_t kGradeGood = 0;
constexpr std::uint8_t kGradeCounted = 1;
constexpr std::uint8_t kGradePending = 2;
constexpr std::uint8_t kGradeAlert = 4;
constexpr std::uint8_t kGradeError = 16;

using Rgb = std::uint32_t;  // 0xRRGGBB
constexpr Rgb kRgbRed = 0xFF0000;
constexpr Rgb kRgbYellow = 0xFFFF00;
constexpr Rgb kRgbWhite = 0xFFFFFF;
constexpr Rgb kRgbMaroon = 0x800000;
constexpr Rgb kRgbBlack = 0x000000;

// Columns of StringGrid3.
constexpr std::size_t kColumnName = 0;
constexpr std::size_t kColumnCurrent = 1;
constexpr std::size_t kColumnWorst = 2;
constexpr std::size_t kColumnThreshold = 3;
constexpr std::size_t kColumnRaw = 4;
constexpr std::size_t kColumnStatus = 5;
constexpr std::size_t kSmartColumns = 6;

std::uint8_t AttributeGrade(const SmartAttribute& attribute);

// A bay's verdict, from better to worse.
enum class SmartVerdict : std::uint8_t { Good = 0, Warning = 1, Error = 2 };
// The verdict of a bay's folded grade: the error bit gives Error, 2 or more Warning.
SmartVerdict VerdictOfGrade(std::uint8_t driveGrade);
// "Good", "Warning", "Error".
std::string_view VerdictName(SmartVerdict verdict);
// "05-Reallocated sector count"; "AAh-UnKnown" for an ID the name table lacks.
std::string SmartNameCell(std::uint8_t id);
// The raw value as 12 upper-case hex digits, most significant byte first.
std::string SmartRawCell(const std::array<std::uint8_t, kSmartRawSize>& raw);
// " SMART - HDD1 : <model>"
std::string SmartHeading(std::string_view bayCaption, std::string_view modelText);
std::string_view BayCaption(unsigned bay);  // "HDD1" or "HDD2"

struct SmartRow {
  SmartAttribute attribute;
  std::uint8_t grade = 0;
  Rgb colour = kRgbWhite;
  std::array<std::string, kSmartColumns> cells;
};

struct SmartPageModel {
  unsigned bay = 0;          // the bay shown; its button is the yellow one
  std::size_t rowCount = 0;  // rows of StringGrid3: the entries before the first empty one
  bool gridVisible = false;
  // Every graded entry in page order. Rows from rowCount on lie beyond the grid (entries after a
  // gap in the table): they are not shown but still count toward the verdict.
  std::vector<SmartRow> rows;
  std::array<Rgb, kSmartEntryCount> rowColours{};  // RowColours, white where no row was written
  std::string heading;                             // Label22
  std::string verdict;                             // Label23: " Good ", " Warning ", " Error " or empty
  Rgb verdictColour = kRgbBlack;
  std::uint8_t driveGrade = 0;  // the new DriveGrade of the bay
  bool focusGrid = false;       // select column 0 of row 0 and give the grid the focus
  bool gridFocused = false;     // the new GridFocused
};

struct SmartEvaluationInput {
  const SmartPage& data;
  const SmartPage& thresholds;
  unsigned bay = 0;
  std::string_view bayCaption;  // caption of the bay's title on the status page
  std::string_view modelText;   // the member's model as the status page shows it
  bool gridFocused = false;
};

// Pure: grades the pages and builds the page model.
SmartPageModel EvaluateSmart(const SmartEvaluationInput& input);

// Evaluates the pages of `slot` and the state's SmartBay and keeps DriveGrade and GridFocused.
// A slot beyond the store has no pages and shows an empty grid.
SmartPageModel EvaluateSmart(SmartState& state, unsigned slot, std::string_view modelText);

// What selecting a cell of StringGrid3 shows: the name cell or the raw value of the row goes to
// status panel 4 and becomes the grid's hint; other columns clear the hint and leave the panel.
struct SmartCellSelection {
  std::optional<std::string> panelText;
  std::string hint;
};
SmartCellSelection SelectSmartCell(const SmartPageModel& model, const SmartPage& data, std::size_t column,
                                   std::size_t row);

}  // namespace rur
