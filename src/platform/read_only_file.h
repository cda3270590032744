// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A regular file opened for reading at any offset (a firmware image). A device, a pipe or a
// folder is refused at the open, which never waits for a writer.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rur {

// The open file, or -1 with `error` saying why ("No such file or directory", "it is a folder");
// `size` is its length.
int OpenRegularFileForReading(const std::string& path, std::uint64_t& size, std::string& error);
// Bytes read at offset (fewer at the end of the file, 0 on failure).
std::size_t ReadFileAt(int file, std::uint64_t offset, std::uint8_t* out, std::size_t count);
void CloseReadOnlyFile(int file);

}  // namespace rur
