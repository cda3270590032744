// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which file stands at a path now: its identity on the disk, modification time and size. A save
// that renames a new file over the old one changes the stamp. Empty when there is no file.

#include <filesystem>
#include <string>

namespace rur {

std::string FileStamp(const std::filesystem::path& path);

}  // namespace rur
