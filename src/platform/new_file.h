// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A new file that never replaces one of the same name: written in full under a hidden temporary
// name of its folder and flushed, then given its name only if that name is still free. Another
// program that picks the same name at the same moment finds it taken and tries the next one.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace rur {

// The whole buffer in a hidden temporary file of the folder, flushed to the disk. Returns its
// path, or nothing when it could not be written.
std::optional<std::string> WriteTemporaryFile(const std::filesystem::path& folder, const std::string& name,
                                              const std::uint8_t* data, std::size_t length);

enum class NewFilePublish { Done, NameTaken, Failed };
// Gives the temporary file its final name unless that name exists.
NewFilePublish PublishWithoutReplacing(const std::string& temporary, const std::filesystem::path& path);

// Makes the folder's new entries durable.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace rur
