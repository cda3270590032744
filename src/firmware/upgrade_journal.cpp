// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/upgrade_journal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/atomic_file.h"

namespace rur {
namespace {

constexpr const char* kFilePrefix = "firmware-upgrade-drive";
constexpr const char* kFileSuffix = ".journal";
constexpr const char* kUnknown = "unknown";

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

bool ParseUnsigned(const std::string& text, int base, std::uint64_t max, std::uint64_t& out) {
  if (text.empty() || text.size() > 16) return false;
  std::size_t used = 0;
  try {
    out = std::stoull(text, &used, base);
  } catch (...) {
    return false;
  }
  return used == text.size() && out <= max;
}

// The drive number in a journal file's name, when it is one of ours.
std::optional<unsigned> DriveOfFileName(const std::string& name) {
  const std::string prefix = kFilePrefix, suffix = kFileSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return std::nullopt;
  std::uint64_t drive = 0;
  if (!ParseUnsigned(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()), 10, 255, drive))
    return std::nullopt;
  return static_cast<unsigned>(drive);
}

}  // namespace

const char* UpgradeStepName(UpgradeStep step) {
  switch (step) {
    case UpgradeStep::Erase: return "erase";
    case UpgradeStep::Program: return "program";
    case UpgradeStep::Verify: return "verify";
  }
  return "erase";
}

std::string FormatJournalRecord(const UpgradeJournalRecord& record) {
  return "device=" + std::to_string(record.device + 1) + "\n" + "drive=" + std::to_string(record.drive) + "\n" +
         "path=" + record.path + "\n" + "product=" + record.product + "\n" + "firmware=" + record.firmware + "\n" +
         "image_size=" + std::to_string(record.imageSize) + "\n" + "image_checksum=" + Hex8(record.imageChecksum) +
         "\n" + "started=" + record.started + "\n" + "step=" + UpgradeStepName(record.step) + "\n";
}

std::optional<UpgradeJournalRecord> ParseJournalRecord(const std::string& text) {
  UpgradeJournalRecord record;
  bool sawDevice = false, sawDrive = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
    std::uint64_t number = 0;
    if (name == "device" && ParseUnsigned(value, 10, 255, number) && number >= 1) {
      record.device = static_cast<unsigned>(number - 1);
      sawDevice = true;
    } else if (name == "drive" && ParseUnsigned(value, 10, 255, number)) {
      record.drive = static_cast<unsigned>(number);
      sawDrive = true;
    } else if (name == "path") {
      record.path = value;
    } else if (name == "product") {
      record.product = value;
    } else if (name == "firmware") {
      record.firmware = value;
    } else if (name == "image_size" && ParseUnsigned(value, 10, 0xFFFFFFFF, number)) {
      record.imageSize = static_cast<std::uint32_t>(number);
    } else if (name == "image_checksum" && ParseUnsigned(value, 16, 0xFFFFFFFF, number)) {
      record.imageChecksum = static_cast<std::uint32_t>(number);
    } else if (name == "started") {
      record.started = value;
    } else if (name == "step") {
      for (UpgradeStep step : {UpgradeStep::Erase, UpgradeStep::Program, UpgradeStep::Verify})
        if (value == UpgradeStepName(step)) record.step = step;
    }
  }
  if (!sawDevice || !sawDrive) return std::nullopt;
  return record;
}

std::string UnfinishedUpgradeText(const UpgradeJournalRecord& record) {
  return "Firmware upgrade of Device" + std::to_string(record.device + 1) + " did not finish (started " +
         (record.started.empty() ? std::string(kUnknown) : record.started) +
         "): its flash may be incomplete. Do not power it off; run the upgrade again with the same image.";
}

std::string UnfinishedUpgradeDetails(const UpgradeJournalRecord& record) {
  return "Device: " + (record.path.empty() ? std::string(kUnknown) : record.path) + " (drive " +
         std::to_string(record.drive) + "), " + (record.product.empty() ? std::string(kUnknown) : record.product) +
         ", firmware " + (record.firmware.empty() ? std::string(kUnknown) : record.firmware) +
         " before the run; image: " + std::to_string(record.imageSize) + " bytes, checksum " +
         Hex8(record.imageChecksum) + "; stopped at the " + UpgradeStepName(record.step) + " step.";
}

UpgradeJournal::UpgradeJournal(std::string folder) : folder_(std::move(folder)) {}

std::string UpgradeJournal::PathFor(unsigned drive) const {
  return (std::filesystem::path(folder_) / (kFilePrefix + std::to_string(drive) + kFileSuffix)).string();
}

bool UpgradeJournal::Write(const UpgradeJournalRecord& record, std::string& error) {
  return WriteFileAtomically(PathFor(record.drive), FormatJournalRecord(record), 0644, error);
}

bool UpgradeJournal::Remove(unsigned drive, std::string& error) { return RemoveFileIfPresent(PathFor(drive), error); }

std::vector<UpgradeJournalRecord> UpgradeJournal::Unfinished() const {
  std::vector<UpgradeJournalRecord> records;
  std::error_code code;
  std::filesystem::directory_iterator entries(folder_, code);
  if (code) return records;
  for (const auto& entry : entries) {
    const auto drive = DriveOfFileName(entry.path().filename().string());
    if (!drive || !entry.is_regular_file(code)) continue;
    std::string text, error;
    ReadWholeFile(entry.path().string(), text, error);
    UpgradeJournalRecord record;
    if (const auto parsed = ParseJournalRecord(text)) record = *parsed;
    record.drive = *drive;  // the name decides which flash it stands for
    records.push_back(record);
  }
  std::sort(records.begin(), records.end(),
            [](const UpgradeJournalRecord& a, const UpgradeJournalRecord& b) { return a.drive < b.drive; });
  return records;
}

}  // namespace rur
