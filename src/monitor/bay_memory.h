// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which disk sits in which bay of each enclosure, kept in a file of the data folder so that a disk
// swapped while the program was not running is noticed too. An enclosure has no serial number of
// its own: it is known by its disks. A drive is matched once per device list to the remembered
// enclosure that holds one of its disks (or a new one is remembered); from then on a bay whose
// disk reports another serial than the one remembered has had its disk replaced. An empty bay
// forgets nothing, so the disk that comes back after it is compared with the one that went.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "monitor/status_record.h"

namespace rur {

constexpr const char* kBayMemoryFileName = "bays.txt";

struct BayReplacement {
  unsigned bay = 0;  // 0 = HDD1, 1 = HDD2
  std::string oldSerial;
  std::string newSerial;
};

class BayMemory {
 public:
  // `path` empty: nothing is read or saved.
  explicit BayMemory(std::string path = {}) : path_(std::move(path)) {}
  // Reads the file; a missing file is an empty memory. False with the reason otherwise (the
  // memory then starts empty).
  bool Load(std::string& error);
  // The serials now in the bays of the enclosure on `drive` (empty: the bay holds no disk). Returns
  // the bays whose disk was replaced; the file is saved when anything changed, and `saveError`
  // tells why when that failed.
  std::vector<BayReplacement> Observe(unsigned drive, const std::array<std::string, 2>& serials,
                                      std::string& saveError);
  // Which bays of the enclosure on `drive` were without a working disk when last looked at, in this
  // run or an earlier one; nothing when the enclosure is not known yet. Call after Observe.
  std::optional<std::array<bool, 2>> Missing(unsigned drive) const;
  // What the last look found missing, kept for the next start (saved when it changed).
  void RememberMissing(unsigned drive, const std::array<bool, 2>& missing, std::string& saveError);
  // The device list changed: every drive is matched to its enclosure again.
  void ForgetDrives() { linked_.fill(-1); }

  // The remembered enclosures, each the serials of its two bays.
  const std::vector<std::array<std::string, 2>>& enclosures() const { return enclosures_; }

 private:
  int Match(const std::array<std::string, 2>& serials) const;
  void Save(std::string& saveError) const;

  std::string path_;
  std::vector<std::array<std::string, 2>> enclosures_;
  std::vector<std::optional<std::array<bool, 2>>> missing_;      // per remembered enclosure
  std::array<int, kStatusRecordSlots> linked_ = MakeUnlinked();  // per drive: index into enclosures_

  static std::array<int, kStatusRecordSlots> MakeUnlinked() {
    std::array<int, kStatusRecordSlots> unlinked{};
    unlinked.fill(-1);
    return unlinked;
  }
};

}  // namespace rur
