// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file a user names to be read (a log, a scenario, a firmware image), checked before it is
// opened: a device node or a FIFO would never end (or never start) a read, and a file far larger
// than any valid one would only fill the memory.

#include <cstdint>
#include <string>

namespace rur {

// True when `path` is a regular file (links followed) of at most `maxBytes`; else false with the
// reason, to follow the file's name: "is not a regular file (...)".
bool CheckInputFile(const std::string& path, std::uint64_t maxBytes, std::string& error);

}  // namespace rur
