// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What was already reported of each disk, by serial number, kept in a file of the data folder so
// that a change is mailed once, also across restarts.

#include <map>
#include <string>

#include "smart/disk_health.h"

namespace rur {

constexpr const char* kDiskHealthFileName = "disk-health.txt";

class DiskHealthMemory {
 public:
  // `path` empty: nothing is read or saved.
  explicit DiskHealthMemory(std::string path = {}) : path_(std::move(path)) {}
  // Reads the file; a missing file is an empty memory. False with the reason otherwise (the
  // memory then starts empty).
  bool Load(std::string& error);
  bool Save(std::string& error) const;

  // Null for a disk never seen.
  const ReportedHealth* Find(const std::string& serial) const;
  ReportedHealth& Entry(const std::string& serial) { return disks_[serial]; }
  // A disk whose serial is not printable ASCII was kept under the serial's text before keys of its
  // raw bytes existed: that entry, if any, moves to its key.
  void TakeEarlierEntry(const std::string& serial);
  const std::map<std::string, ReportedHealth>& disks() const { return disks_; }
  // Forgets the disks not seen for `keepDays` days before `now`; a disk whose last look is not
  // known counts as seen now. True when one was forgotten.
  bool ForgetUnseen(std::int64_t now, std::uint32_t keepDays);

 private:
  std::string path_;
  std::map<std::string, ReportedHealth> disks_;
};

// The file's text and back. One line per disk: serial key, verdict and "id=count" fields, separated
// by tabs, then "seen=" and the civil seconds of the last reading; serial keys are printable ASCII,
// so no tab or line break occurs inside one.
std::string DiskHealthFileText(const std::map<std::string, ReportedHealth>& disks);
bool ParseDiskHealthFile(const std::string& text, std::map<std::string, ReportedHealth>& disks, std::string& error);

}  // namespace rur
