// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbered dump files for handing raw controller data over for analysis: each dump takes the next
// free name of its family (dSMART00.bin ... dSMART09.bin, dSMART0A.bin ... dSMART0Z.bin) and never
// replaces a file that is already there.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/user_interface.h"
#include "smart/smart_state.h"

namespace rur {

enum class DumpKind : std::uint8_t {
  SmartData = 2,        // "dSMART00.bin"
  SmartThresholds = 3,  // "sSMART00.bin"
};

constexpr std::size_t kDumpCounterIndex = 7;  // the character just before ".bin"

// The character after `c` in the name counter (0..9, then A..Z), or nothing after the last.
std::optional<char> NextDumpCounter(char c);

// Writes `length` bytes to the next free name of the kind's family in `folder`, reporting on
// status panel 4 or in a message box. Returns the path written, or nothing.
std::optional<std::filesystem::path> WriteDumpFile(DumpKind kind, const std::uint8_t* data, std::size_t length,
                                                   const std::filesystem::path& folder, Ui& ui);

struct SmartDumpPaths {
  std::optional<std::filesystem::path> data;
  std::optional<std::filesystem::path> thresholds;
};

// The dump behind a double-click on the countdown label: the data pages of the first enclosure
// (HDD1 then HDD2), then its threshold pages, 1024 bytes each.
SmartDumpPaths DumpSmartPages(const SmartState& state, const std::filesystem::path& folder, Ui& ui);

}  // namespace rur
