// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/mode_names.h"

#include "monitor/status_record.h"

namespace rur {

std::string ModeText(std::uint8_t arrayMode) {
  static const char* const kModeNames[] = {"Striping(RAID0)", "Mirroring(RAID1)", "NRAID", "JBOD"};
  if (arrayMode <= kModeJbod) return kModeNames[arrayMode];
  if (arrayMode == kModeBypass) return "Bypass";
  return "Undefine";
}

}  // namespace rur
