// SPDX-License-Identifier: GPL-3.0-or-later
// Settings files are edited by hand: whatever bytes they hold, parsing must end cleanly, and
// whatever parses must come back unchanged from its own written form.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "notify/reg_file_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rur::SettingsKey key;
  std::string error;
  if (!rur::ParseSettingsText(std::string_view(reinterpret_cast<const char*>(data), size), key, error)) return 0;
  rur::SettingsKey again;
  if (!rur::ParseSettingsText(rur::FormatSettingsText(key), again, error)) std::abort();
  if (again.values.size() != key.values.size()) std::abort();
  for (std::size_t i = 0; i < key.values.size(); ++i)
    if (!(again.values[i].value == key.values[i].value) ||
        !rur::SameValueName(again.values[i].name, key.values[i].name))
      std::abort();
  return 0;
}
