// SPDX-License-Identifier: GPL-3.0-or-later
// An upgrade journal record is read back at every start, from a folder a crash or a careless hand
// may have left in any state: whatever bytes it holds, reading must end cleanly, the texts told to
// the user must be made from it, and a record read must be written and read back the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "firmware/upgrade_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto record = rur::ParseJournalRecord(std::string(reinterpret_cast<const char*>(data), size));
  if (!record) return 0;
  if (rur::UnfinishedUpgradeText(*record).empty() || rur::UnfinishedUpgradeDetails(*record).empty()) std::abort();
  const std::string written = rur::FormatJournalRecord(*record);
  const auto again = rur::ParseJournalRecord(written);
  if (!again || rur::FormatJournalRecord(*again) != written) std::abort();
  return 0;
}
