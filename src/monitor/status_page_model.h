// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the status page shows for the selected enclosure, kept as texts and colours so the window,
// rurctl and the tests read the same thing. The member panels change only with DriveFlags (or a
// forced redraw) and the activity text only with the progress, as the page has always behaved;
// each enclosure keeps its own last shown values, so switching between two never carries one's
// over to the other. When the enclosure's status is not current the page says so.

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/enclosure_status.h"
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
  std::string mode;               // Label17
  std::string redundancyNote;     // under the mode: striping and JBOD keep no second copy
  std::string systemCapacity;     // Label27
  LabelState hdd1Capacity;        // Label25
  LabelState hdd1Model;           // Label51
  LabelState hdd2Capacity;        // Label26
  LabelState hdd2Model;           // Label52
  std::string arrayState;         // Label18
  std::string firmware;           // Label48
  bool firmwareValid = true;      // false: the flash holds no valid image, Label48 warns
  bool sensorPanelShown = false;  // Panel11
  LabelState fan;                 // Label5
  LabelState temperature;         // Label7
  bool logButtonShown = false;    // Image0_Log
  bool current = true;            // the values come from the last refresh
  std::string notice;             // why they do not, when they do not
};

// How far the record of the enclosure shown can be trusted.
struct StatusCurrency {
  bool known = true;          // its members were read at least once
  bool current = true;        // its last query succeeded
  bool notAnswering = false;  // it has stopped answering
  std::string error;          // why the last query failed
};

constexpr const char* kNotAnsweringText = "Not\nanswering";
constexpr const char* kNoAnswerYetText = "No answer\nyet";

constexpr std::uint8_t kNothingShown = 255;

class StatusPageModel {
 public:
  // Draws the page of the enclosure at a position from its record; the caller checks there is a
  // device to show.
  void Redraw(unsigned device, const StatusRecord& record, const std::string& revisionText, bool sensorDisplay,
              bool force, const StatusCurrency& currency = {});
  void Redraw(const StatusRecord& record, const std::string& revisionText, bool sensorDisplay, bool force) {
    Redraw(0, record, revisionText, sensorDisplay, force);
  }
  // The device list changed: oldPositionOfNew[j] is the old position of the enclosure now at j.
  void FollowDevices(const std::vector<int>& oldPositionOfNew);
  // The page as last drawn.
  const StatusPageView& view() const { return shown_[drawn_].view; }
  StatusPageView& view() { return shown_[drawn_].view; }

 private:
  struct Shown {
    StatusPageView view;
    std::uint8_t lastDriveFlags = kNothingShown;
    std::uint8_t lastProgress = kNothingShown;
  };
  std::vector<Shown> shown_{1};
  std::size_t drawn_ = 0;
};

// One member's capacity and model labels for its DriveFlags.
void FillMemberLabels(const StatusRecord& record, int member, LabelState& capacity, LabelState& model);
// "Normal", "Single HDD\nPresent" or "Failure" from the members' presence.
std::string ArrayStateText(std::uint8_t driveFlags);
std::string RebuildText(std::uint8_t progress, std::uint8_t activityFlags);
// The array state as the status page shows it, for an enclosure whose status is known or not and
// that answers or not.
std::string ArrayStateText(const EnclosureStatus& status, bool answering);

}  // namespace rur
