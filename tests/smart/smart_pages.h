// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SMART pages with chosen attributes, for tests.

#include "smart/smart_page.h"

namespace rur::test {

struct Entry {
  std::uint8_t id, current, worst, threshold;
  std::uint64_t raw = 0;  // the low 48 bits go to the page
};

struct Pages {
  SmartPage data{};
  SmartPage thresholds{};
};

inline Pages MakePages(std::initializer_list<Entry> entries) {
  Pages pages;
  std::size_t at = SmartEntryOffset(0);
  for (const Entry& e : entries) {
    pages.data[at + smart_entry::kId] = pages.thresholds[at + smart_entry::kId] = e.id;
    pages.data[at + smart_entry::kCurrent] = e.current;
    pages.data[at + smart_entry::kWorst] = e.worst;
    for (std::size_t i = 0; i < kSmartRawSize; ++i)
      pages.data[at + smart_entry::kRaw + i] = static_cast<std::uint8_t>(e.raw >> (8 * i));
    pages.thresholds[at + smart_entry::kThreshold] = e.threshold;
    at += kSmartEntrySize;
  }
  return pages;
}

}  // namespace rur::test
