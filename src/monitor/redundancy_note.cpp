// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/redundancy_note.h"

#include "monitor/mode_names.h"
#include "monitor/status_record.h"

namespace rur {

bool ModeWithoutRedundancy(std::uint8_t arrayMode) { return arrayMode == kModeStriping || arrayMode == kModeJbod; }

std::string NoRedundancySentence(std::uint8_t arrayMode) {
  return ModeText(arrayMode) + " keeps no second copy of the data: one failing disk loses the whole array.";
}

}  // namespace rur
