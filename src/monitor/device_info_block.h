// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts that describe a device: the information block written into the event log whenever a
// log is (re)opened and sent in alarm mails, and the alarm sentences.

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/identify_block.h"
#include "monitor/status_record.h"

namespace rur {

enum class InfoForm { Log, Alarm };

constexpr std::uint8_t kAlarmMemberRemoved = 1;  // a member disk was removed
constexpr std::uint8_t kAlarmDeviceRemoved = 2;  // an enclosure was removed

// Appends the block of device index `device` (numbered from 1 in the text). A capacity that was
// never read is left out rather than written as 0.
void BuildDeviceInfoBlock(unsigned device, const IdentifyBlock& identity, const StatusRecord& record, InfoForm form,
                          std::uint8_t alarmKind, std::vector<std::string>& lines, bool capacityKnown = true);

// "Device1 P0 Hard Disk Drive fail." or "Device1 RAID system fail."
std::string AlarmSentence(std::uint8_t kind, unsigned device, unsigned bay);
// Follows the RAID system sentence when an enclosure in the device list stopped answering.
std::string NotAnsweringSentence(unsigned device);

// "  Capacity : " style text: C + "(" + N + " Sectors)".
std::string CapacityWithSectors(std::uint64_t sectors);
std::string StateCodeHex(std::uint8_t code);

// The model, serial and capacity lines of one member with the given indentation.
void AppendMemberDetails(const StatusRecord& record, int member, const std::string& indent,
                         std::vector<std::string>& lines);

}  // namespace rur
