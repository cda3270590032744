// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Arrays that keep no second copy of the data: in striping and JBOD mode one failing disk loses
// the whole array. The status page says so under the mode, and every alarm mail of such an array
// carries the sentence.

#include <cstdint>
#include <string>

namespace rur {

constexpr const char* kNoRedundancyNote = "One failing disk loses the whole array.";

bool ModeWithoutRedundancy(std::uint8_t arrayMode);
// "Striping(RAID0) keeps no second copy of the data: one failing disk loses the whole array."
std::string NoRedundancySentence(std::uint8_t arrayMode);

}  // namespace rur
