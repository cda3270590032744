// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/status_page_model.h"

#include "monitor/ata_text.h"
#include "monitor/capacity_text.h"
#include "monitor/mode_names.h"

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

void StatusPageModel::Redraw(const StatusRecord& record, const std::string& revisionText, bool sensorDisplay,
                             bool force) {
  view_.firmware = revisionText;

  const std::uint8_t environment = record[status_offset::kEnvironmentFlags];
  const unsigned fan = record[status_offset::kFanSpeed] + 256u * record[status_offset::kFanSpeed + 1];
  view_.fan = LabelState{std::to_string(fan), (environment & kFanFailure) ? kRed : kBlue, true};
  view_.temperature = LabelState{std::to_string(record[status_offset::kTemperature]),
                                 (environment & kOverTemperature) ? kRed : kBlue, true};
  constexpr std::uint8_t kAllAlarms = 0xAA;
  view_.sensorPanelShown = sensorDisplay && (environment & 0xF0) == kSensorsValid && environment != kAllAlarms;

  view_.mode = ModeText(record[status_offset::kArrayMode]);

  const std::uint8_t flags = record[status_offset::kDriveFlags];
  if (force || flags != lastDriveFlags_) {
    lastDriveFlags_ = flags;
    FillMemberLabels(record, 1, view_.hdd1Capacity, view_.hdd1Model);
    FillMemberLabels(record, 2, view_.hdd2Capacity, view_.hdd2Model);
    view_.systemCapacity = CapacityText(ReadLe(record.data() + status_offset::kArrayCapacity, 5));
  }

  const std::uint8_t activity = record[status_offset::kActivityFlags];
  if (activity & (kHdd1Rebuilding | kHdd2Rebuilding)) {
    const std::uint8_t progress = record[status_offset::kActivityProgress];
    if (progress != lastProgress_) {
      view_.arrayState = RebuildText(progress, activity);
      lastProgress_ = progress;
    }
    view_.logButtonShown = true;
  } else {
    view_.arrayState = ArrayStateText(flags);
    lastProgress_ = kNothingShown;
  }
}

}  // namespace rur
