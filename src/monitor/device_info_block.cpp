// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/device_info_block.h"

#include <cstdio>

#include "monitor/ata_text.h"
#include "monitor/capacity_text.h"
#include "monitor/device_names.h"
#include "monitor/mode_names.h"

namespace rur {
namespace {

struct MemberFields {
  const char* name;
  std::uint8_t absent, present, failed, inserted;
  std::size_t stateCode, model, serial, capacity;
};
constexpr MemberFields kMembers[2] = {
    {"HDD1", kHdd1Absent, kHdd1Present, kHdd1Failed, kHdd1Inserted, status_offset::kHdd1StateCode,
     status_offset::kHdd1Model, status_offset::kHdd1Serial, status_offset::kHdd1Capacity},
    {"HDD2", kHdd2Absent, kHdd2Present, kHdd2Failed, kHdd2Inserted, status_offset::kHdd2StateCode,
     status_offset::kHdd2Model, status_offset::kHdd2Serial, status_offset::kHdd2Capacity},
};

std::string ModelText(const StatusRecord& record, std::size_t at) {
  return TrimModelText(AtaStringToText(record.data() + at, kModelLength));
}

}  // namespace

std::string StateCodeHex(std::uint8_t code) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", code);
  return text;
}

std::string CapacityWithSectors(std::uint64_t sectors) {
  return CapacityText(sectors) + "(" + std::to_string(sectors) + " Sectors)";
}

void AppendMemberDetails(const StatusRecord& record, int member, const std::string& indent,
                         std::vector<std::string>& lines) {
  const MemberFields& m = kMembers[member - 1];
  lines.push_back(indent + "Model no.: " + ModelText(record, m.model));
  lines.push_back(indent + "Serial no.: \"" + AtaStringToText(record.data() + m.serial, kSerialLength) + "\"");
  lines.push_back(indent + "Capacity : " + CapacityWithSectors(ReadLe(record.data() + m.capacity, 5)));
}

std::string AlarmSentence(std::uint8_t kind, unsigned device, unsigned bay) {
  const std::string n = std::to_string(device + 1);
  if (kind == kAlarmMemberRemoved) return "Device" + n + " P" + std::to_string(bay) + " Hard Disk Drive fail.";
  return "Device" + n + " RAID system fail.";
}

std::string NotAnsweringSentence(unsigned device) {
  return "Device" + std::to_string(device + 1) +
         " has not answered for a minute; it is asked again, at least once a minute.";
}

void BuildDeviceInfoBlock(unsigned device, const IdentifyBlock& identity, const StatusRecord& record, InfoForm form,
                          std::uint8_t alarmKind, std::vector<std::string>& lines, bool capacityKnown) {
  const bool log = form == InfoForm::Log;
  lines.push_back("Device" + std::to_string(device + 1) + " information :");
  lines.push_back("Model# " +
                  TrimModelText(AtaStringToText(identity.data() + identify_offset::kProductName, kProductNameLength)));
  lines.push_back(ModeText(record[status_offset::kArrayMode]) + ", F/W Rev. " +
                  FirmwareRevisionText(identity, log ? RevisionForm::Log : RevisionForm::Alarm));
  if (capacityKnown)
    lines.push_back("Configured Capacity : " +
                    CapacityWithSectors(ReadLe(record.data() + status_offset::kArrayCapacity, 5)));

  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const bool memberAlarm = !log && alarmKind == kAlarmMemberRemoved;
  for (int member = 1; member <= 2; ++member) {
    const MemberFields& m = kMembers[member - 1];
    const std::string code = log ? StateCodeHex(record[m.stateCode]) : "";
    const std::string name = m.name;
    bool details;
    if (flags & m.absent) {
      lines.push_back("  " + name + " is absent. " + code);
      if (log) {
        // The log keeps the last known disk of an empty bay, when there was one.
        if (record[m.serial + 1] != 0) {
          std::vector<std::string> detail;
          AppendMemberDetails(record, member, "    ", detail);
          // The first bay's model line has always been written without the blank.
          if (member == 1) detail[0] = "    Model no.:" + ModelText(record, m.model);
          lines.insert(lines.end(), detail.begin(), detail.end());
        }
        continue;
      }
      details = memberAlarm;
    } else if (flags & m.present) {
      lines.push_back("  " + name + " is present.(SATA)" + code);
      details = true;
    } else if (flags & m.failed) {
      // One failure, one text: the start-up dump, the later line and the mail all name it alike.
      lines.push_back("  " + name + " was failed, Capacity too small." + code);
      details = true;
    } else if (flags & m.inserted) {
      lines.push_back(name + " was inserted." + code);
      details = memberAlarm;
    } else {
      details = memberAlarm;
    }
    if (details) AppendMemberDetails(record, member, "    ", lines);
  }
}

}  // namespace rur
