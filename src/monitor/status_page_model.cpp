// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/status_page_model.h"

#include <algorithm>

#include "monitor/ata_text.h"
#include "monitor/capacity_text.h"
#include "monitor/mode_names.h"
#include "monitor/redundancy_note.h"

namespace rur {

void FillMemberLabels(const StatusRecord& record, int member, LabelState& capacity, LabelState& model) {
  const bool first = member == 1;
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const std::uint8_t absent = first ? kHdd1Absent : kHdd2Absent;
  const std::uint8_t present = first ? kHdd1Present : kHdd2Present;
  const std::uint8_t failed = first ? kHdd1Failed : kHdd2Failed;
  const std::size_t modelAt = first ? status_offset::kHdd1Model : status_offset::kHdd2Model;
  const std::size_t serialAt = first ? status_offset::kHdd1Serial : status_offset::kHdd2Serial;
  const std::size_t capacityAt = first ? status_offset::kHdd1Capacity : status_offset::kHdd2Capacity;

  const std::string modelText = TrimModelText(AtaStringToText(record.data() + modelAt, kModelLength));
  const std::string serialText = AtaStringToText(record.data() + serialAt, kSerialLength);
  const std::string capacityText = CapacityText(ReadLe(record.data() + capacityAt, 5)) + "\n";

  if (flags & absent) {
    if (!serialText.empty()) {
      capacity.text = capacityText;
      model.text = modelText;
    }
    capacity.enabled = false;
    model.enabled = false;
  } else if (flags & present) {
    capacity = LabelState{capacityText, kNavy, true};
    model.text = modelText;
    model.enabled = true;
  } else if (flags & failed) {
    capacity = LabelState{capacityText, kRed, true};
    model.text = modelText;
    model.enabled = false;
  } else {
    capacity.text.clear();
    model.text.clear();
  }
}

std::string ArrayStateText(std::uint8_t driveFlags) {
  switch (driveFlags & kBothPresent) {
    case kBothPresent: return "Normal";
    case 0: return "Failure";
    default: return "Single HDD\nPresent";
  }
}

std::string RebuildText(std::uint8_t progress, std::uint8_t activityFlags) {
  const char* direction = (activityFlags & kHdd1Rebuilding) ? "%\n<<<<\nRebuilding" : "%\n>>>>\nRebuilding";
  return std::to_string(progress) + direction;
}

std::string ArrayStateText(const EnclosureStatus& status, bool answering) {
  if (!answering) return kNotAnsweringText;
  if (!status.membersKnown()) return kNoAnswerYetText;
  if (status.rebuildingBay) return RebuildText(status.rebuildPercent, status.activityFlags);
  return ArrayStateText(status.driveFlags);
}

void StatusPageModel::FollowDevices(const std::vector<int>& oldPositionOfNew) {
  std::vector<Shown> followed(std::max<std::size_t>(oldPositionOfNew.size(), 1));
  for (std::size_t j = 0; j < oldPositionOfNew.size(); ++j) {
    const int old = oldPositionOfNew[j];
    if (old >= 0 && static_cast<std::size_t>(old) < shown_.size()) followed[j] = shown_[static_cast<std::size_t>(old)];
  }
  shown_ = std::move(followed);
  drawn_ = 0;
}

void StatusPageModel::Redraw(unsigned device, const StatusRecord& record, const std::string& revisionText,
                             bool sensorDisplay, bool force, const StatusCurrency& currency) {
  if (device >= shown_.size()) shown_.resize(device + 1);
  drawn_ = device;
  Shown& shown = shown_[device];
  StatusPageView& view = shown.view;
  view.firmware = revisionText;

  const std::uint8_t environment = record[status_offset::kEnvironmentFlags];
  const unsigned fan = record[status_offset::kFanSpeed] + 256u * record[status_offset::kFanSpeed + 1];
  view.fan = LabelState{std::to_string(fan), (environment & kFanFailure) ? kRed : kBlue, true};
  view.temperature = LabelState{std::to_string(record[status_offset::kTemperature]),
                                (environment & kOverTemperature) ? kRed : kBlue, true};
  constexpr std::uint8_t kAllAlarms = 0xAA;
  view.sensorPanelShown = sensorDisplay && (environment & 0xF0) == kSensorsValid && environment != kAllAlarms;

  view.current = currency.current;
  view.notice.clear();
  if (!currency.current) {
    view.notice = (currency.notAnswering ? "Not answering: " : "Not current: ") + currency.error;
    view.sensorPanelShown = false;  // readings that were not just read are not shown as live
  }

  if (!currency.known) {
    // Nothing was ever read: a zero record would read as a striped array without members.
    view.mode.clear();
    view.redundancyNote.clear();
    view.systemCapacity.clear();
    view.hdd1Capacity = view.hdd1Model = view.hdd2Capacity = view.hdd2Model = LabelState{};
    view.arrayState = currency.notAnswering ? kNotAnsweringText : kNoAnswerYetText;
    shown.lastDriveFlags = shown.lastProgress = kNothingShown;
    return;
  }

  view.mode = ModeText(record[status_offset::kArrayMode]);
  view.redundancyNote = ModeWithoutRedundancy(record[status_offset::kArrayMode]) ? kNoRedundancyNote : "";

  const std::uint8_t flags = record[status_offset::kDriveFlags];
  if (force || flags != shown.lastDriveFlags) {
    shown.lastDriveFlags = flags;
    FillMemberLabels(record, 1, view.hdd1Capacity, view.hdd1Model);
    FillMemberLabels(record, 2, view.hdd2Capacity, view.hdd2Model);
    view.systemCapacity = CapacityText(ReadLe(record.data() + status_offset::kArrayCapacity, 5));
  }

  if (currency.notAnswering) {
    // The last values stay readable, greyed, until the enclosure answers again.
    for (LabelState* label : {&view.hdd1Capacity, &view.hdd1Model, &view.hdd2Capacity, &view.hdd2Model})
      label->enabled = false;
    view.arrayState = kNotAnsweringText;
    shown.lastDriveFlags = shown.lastProgress = kNothingShown;
    return;
  }

  const std::uint8_t activity = record[status_offset::kActivityFlags];
  if (activity & (kHdd1Rebuilding | kHdd2Rebuilding)) {
    const std::uint8_t progress = record[status_offset::kActivityProgress];
    if (progress != shown.lastProgress) {
      view.arrayState = RebuildText(progress, activity);
      shown.lastProgress = progress;
    }
    view.logButtonShown = true;
  } else {
    view.arrayState = ArrayStateText(flags);
    shown.lastProgress = kNothingShown;
  }
}

}  // namespace rur
