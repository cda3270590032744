// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/upgrade_journal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/atomic_file.h"

namespace rur {
namespace {

constexpr const char* kFilePrefix = "firmware-upgrade-";
constexpr const char* kDriveKeyPrefix = "drive";
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

// The enclosure key in a journal file's name, when it is one of ours.
std::optional<std::string> EnclosureOfFileName(const std::string& name) {
  const std::string prefix = kFilePrefix, suffix = kFileSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return std::nullopt;
  return name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
}

// The drive number of a key made from it ("drive3"), when it is one.
std::optional<unsigned> DriveOfKey(const std::string& key) {
  const std::string prefix = kDriveKeyPrefix;
  std::uint64_t drive = 0;
  if (key.rfind(prefix, 0) != 0 || !ParseUnsigned(key.substr(prefix.size()), 10, 255, drive)) return std::nullopt;
  return static_cast<unsigned>(drive);
}

std::string SafeKeyText(const std::string& text) {
  std::string safe;
  for (const char c : text) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    safe += plain ? c : '_';
  }
  // Never a name that leaves the folder or hides.
  if (!safe.empty() && safe.front() == '.') safe.front() = '_';
  return safe;
}

std::vector<UpgradeJournalRecord> RecordsIn(const std::string& folder) {
  std::vector<UpgradeJournalRecord> records;
  std::error_code code;
  std::filesystem::directory_iterator entries(folder, code);
  if (code) return records;
  for (const auto& entry : entries) {
    const auto key = EnclosureOfFileName(entry.path().filename().string());
    if (!key || !entry.is_regular_file(code)) continue;
    std::string text, error;
    ReadWholeFile(entry.path().string(), text, error);
    UpgradeJournalRecord record;
    if (const auto parsed = ParseJournalRecord(text)) record = *parsed;
    record.enclosure = *key;  // the name decides which enclosure it stands for
    if (const auto drive = DriveOfKey(*key)) record.drive = *drive;
    records.push_back(record);
  }
  return records;
}

}  // namespace

std::string EnclosureKey(const DriveFacts& facts) {
  if (!facts.usbSerial.empty())
    return SafeKeyText("usb-" + facts.usbVendorId + "-" + facts.usbProductId + "-" + facts.usbSerial);
  if (!facts.byId.empty()) {
    const std::size_t slash = facts.byId.rfind('/');
    return SafeKeyText(slash == std::string::npos ? facts.byId : facts.byId.substr(slash + 1));
  }
  return kDriveKeyPrefix + std::to_string(facts.number);
}

std::string RecordKey(const UpgradeJournalRecord& record) {
  return record.enclosure.empty() ? kDriveKeyPrefix + std::to_string(record.drive) : record.enclosure;
}

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
         "enclosure=" + RecordKey(record) + "\n" + "path=" + record.path + "\n" + "product=" + record.product + "\n" +
         "firmware=" + record.firmware + "\n" + "image_size=" + std::to_string(record.imageSize) + "\n" +
         "image_checksum=" + Hex8(record.imageChecksum) + "\n" + "started=" + record.started + "\n" +
         "step=" + UpgradeStepName(record.step) + "\n";
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
    } else if (name == "enclosure") {
      record.enclosure = value;
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

UpgradeJournal::UpgradeJournal(std::string folder, std::vector<std::string> alsoRead)
    : folder_(std::move(folder)), alsoRead_(std::move(alsoRead)) {
  std::erase(alsoRead_, folder_);
}

std::string UpgradeJournal::PathFor(const std::string& enclosure) const {
  return (std::filesystem::path(folder_) / (kFilePrefix + SafeKeyText(enclosure) + kFileSuffix)).string();
}

bool UpgradeJournal::Write(const UpgradeJournalRecord& record, std::string& error) {
  return WriteFileAtomically(PathFor(RecordKey(record)), FormatJournalRecord(record), 0644, error);
}

bool UpgradeJournal::Remove(const std::string& enclosure, unsigned drive, std::string& error) {
  // A record named by the drive number (an enclosure with no stable name, or a record of an earlier
  // program) stands for the same run.
  const std::string keys[] = {enclosure, kDriveKeyPrefix + std::to_string(drive)};
  std::vector<std::string> folders{folder_};
  folders.insert(folders.end(), alsoRead_.begin(), alsoRead_.end());
  for (const std::string& folder : folders)
    for (const std::string& key : keys)
      if (!RemoveFileIfPresent(
              (std::filesystem::path(folder) / (kFilePrefix + SafeKeyText(key) + kFileSuffix)).string(), error))
        return false;
  return true;
}

std::vector<UpgradeJournalRecord> UpgradeJournal::Unfinished() const {
  std::vector<UpgradeJournalRecord> records = RecordsIn(folder_);
  for (const std::string& folder : alsoRead_)
    for (UpgradeJournalRecord& record : RecordsIn(folder))
      if (std::none_of(records.begin(), records.end(),
                       [&](const UpgradeJournalRecord& known) { return known.enclosure == record.enclosure; }))
        records.push_back(std::move(record));
  std::sort(records.begin(), records.end(), [](const UpgradeJournalRecord& a, const UpgradeJournalRecord& b) {
    return a.drive != b.drive ? a.drive < b.drive : a.enclosure < b.enclosure;
  });
  return records;
}

std::optional<UpgradeJournalRecord> UpgradeJournal::RecordOf(const std::string& enclosure, unsigned drive) const {
  const std::string driveKey = kDriveKeyPrefix + std::to_string(drive);
  std::optional<UpgradeJournalRecord> byDrive;
  for (UpgradeJournalRecord& record : Unfinished()) {
    if (record.enclosure == enclosure) return record;
    if (record.enclosure == driveKey) byDrive = record;
  }
  return byDrive;
}

}  // namespace rur
