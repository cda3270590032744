// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the status page shows for the selected enclosure, kept as texts and colours so the window,
// rurctl and the tests read the same thing. The member panels change only with DriveFlags (or a
// forced redraw) and the activity text only with the progress, as the page has always behaved.

#include <cstdint>
#include <string>

#include "monitor/status_record.h"

namespace rur {

using Rgb = std::uint32_t;
constexpr Rgb kBlack = 0x000000;
constexpr Rgb kNavy = 0x000080;
constexpr Rgb kRed = 0xFF0000;
constexpr Rgb kBlue = 0x0000FF;

struct LabelState {
  std::string text;
  Rgb colour = kBlack;
  bool enabled = true;
};

struct StatusPageView {
  std::string mode;            // Label17
  std::string systemCapacity;  // Label27
  LabelState hdd1Capacity;     // Label25
  LabelState hdd1Model;        // Label51
  LabelState hdd2Capacity;     // Label26
  LabelState hdd2Model;        // Label52
  std::string arrayState;      // Label18
  std::string firmware;        // Label48
  bool sensorPanelShown = false;  // Panel11
  LabelState fan;              // Label5
  LabelState temperature;      // Label7
  bool logButtonShown = false;  // Image0_Log
};

constexpr std::uint8_t kNothingShown = 255;

class StatusPageModel {
 public:
  // Draws the page from a record; the caller checks there is a device to show.
  void Redraw(const StatusRecord& record, const std::string& revisionText, bool sensorDisplay, bool force);
  const StatusPageView& view() const { return view_; }
  StatusPageView& view() { return view_; }

 private:
  StatusPageView view_;
  std::uint8_t lastDriveFlags_ = kNothingShown;
  std::uint8_t lastProgress_ = kNothingShown;
};

// One member's capacity and model labels for its DriveFlags.
void FillMemberLabels(const StatusRecord& record, int member, LabelState& capacity, LabelState& model);
// "Normal", "Single HDD\nPresent" or "Failure" from the members' presence.
std::string ArrayStateText(std::uint8_t driveFlags);
std::string RebuildText(std::uint8_t progress, std::uint8_t activityFlags);

}  // namespace rur
