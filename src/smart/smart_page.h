// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ATA SMART data page (SMART READ DATA) and threshold page (SMART READ THRESHOLDS): 512 bytes
// each, an attribute table of 30 entries of 12 bytes from byte 2. A data entry's threshold is the
// threshold entry at the same position; IDs are not matched between the two pages.

#include <array>
#include <cstddef>
#include <cstdint>

namespace rur {

constexpr std::size_t kSmartPageSize = 512;
using SmartPage = std::array<std::uint8_t, kSmartPageSize>;

constexpr std::size_t kSmartEntryCount = 30;
constexpr std::size_t kSmartTableOffset = 2;
constexpr std::size_t kSmartEntrySize = 12;
constexpr std::size_t kSmartRawSize = 6;

namespace smart_entry {
constexpr std::size_t kId = 0;         // 0 marks an empty entry
constexpr std::size_t kCurrent = 3;    // current normalized value
constexpr std::size_t kWorst = 4;      // worst normalized value
constexpr std::size_t kRaw = 5;        // 6 bytes, least significant first
constexpr std::size_t kThreshold = 1;  // in the threshold page's entry
}  // namespace smart_entry

constexpr std::size_t SmartEntryOffset(std::size_t position) { return kSmartTableOffset + kSmartEntrySize * position; }

// One attribute as the data page and the threshold page give it at one table position.
struct SmartAttribute {
  std::uint8_t id = 0;
  std::uint8_t current = 0;
  std::uint8_t worst = 0;
  std::uint8_t threshold = 0;
  std::array<std::uint8_t, kSmartRawSize> raw{};  // least significant byte first

  bool rawNonZero() const {
    for (const std::uint8_t byte : raw)
      if (byte != 0) return true;
    return false;
  }
};

inline SmartAttribute ReadSmartAttribute(const SmartPage& data, const SmartPage& thresholds, std::size_t position) {
  const std::size_t at = SmartEntryOffset(position);
  SmartAttribute attribute;
  attribute.id = data[at + smart_entry::kId];
  attribute.current = data[at + smart_entry::kCurrent];
  attribute.worst = data[at + smart_entry::kWorst];
  attribute.threshold = thresholds[at + smart_entry::kThreshold];
  for (std::size_t i = 0; i < kSmartRawSize; ++i) attribute.raw[i] = data[at + smart_entry::kRaw + i];
  return attribute;
}

// Entries with a non-zero ID before the first empty one: the rows the grid shows.
inline std::size_t LeadingAttributeCount(const SmartPage& data) {
  std::size_t count = 0;
  while (count < kSmartEntryCount && data[SmartEntryOffset(count) + smart_entry::kId] != 0) ++count;
  return count;
}

}  // namespace rur
