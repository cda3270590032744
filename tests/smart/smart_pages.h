#pragma once
// SMART pages with chosen attributes, for tests.

#include <cstdint>

#include "smart/smart_page.h"

namespace rur::test {

struct Entry {
  std::uint8_t id;
  std::uint8_t current;
  std::uint8_t worst;
  std::uint8_t threshold;
  std::uint64_t raw = 0;  // the low 48 bits go to the page
};

inline void PutEntry(SmartPage& data, SmartPage& thresholds, std::size_t position, const Entry& e) {
  const std::size_t at = SmartEntryOffset(position);
  data[at + smart_entry::kId] = e.id;
  data[at + 1] = 0x33;  // status flags, which nothing reads
  data[at + smart_entry::kCurrent] = e.current;
  data[at + smart_entry::kWorst] = e.worst;
  for (std::size_t i = 0; i < kSmartRawSize; ++i)
    data[at + smart_entry::kRaw + i] = static_cast<std::uint8_t>(e.raw >> (8 * i));
  thresholds[at + smart_entry::kId] = e.id;
  thresholds[at + smart_entry::kThreshold] = e.threshold;
}

struct Pages {
  SmartPage data{};
  SmartPage thresholds{};
};

inline Pages MakePages(std::initializer_list<Entry> entries) {
  Pages pages;
  std::size_t position = 0;
  for (const Entry& e : entries) PutEntry(pages.data, pages.thresholds, position++, e);
  return pages;
}

}  // namespace rur::test
