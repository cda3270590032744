// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small writers for the fields of the controller's answers and the member disks' pages.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rur::sim {

// Most significant byte first, as the controller's answers carry numbers.
inline void PutBigEndian(std::uint8_t* at, std::size_t width, std::uint64_t value) {
  for (std::size_t i = width; i-- > 0; value >>= 8) at[i] = static_cast<std::uint8_t>(value);
}
inline std::uint64_t GetBigEndian(const std::uint8_t* at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | at[i];
  return value;
}
// Least significant byte first, as ATA pages and the identity capacity carry them.
inline void PutLittleEndian(std::uint8_t* at, std::size_t width, std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i, value >>= 8) at[i] = static_cast<std::uint8_t>(value);
}

// An ATA string: the text padded with spaces to length, each byte pair swapped.
inline void PutAtaString(std::uint8_t* at, std::size_t length, std::string_view text) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::size_t source = i ^ 1u;
    at[i] = source < text.size() ? static_cast<std::uint8_t>(text[source]) : std::uint8_t{' '};
  }
}

// A byte sum that makes a 512-byte page add up to zero modulo 256.
inline std::uint8_t ZeroSumChecksum(const std::uint8_t* page, std::size_t checksumOffset) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < checksumOffset; ++i) sum = static_cast<std::uint8_t>(sum + page[i]);
  return static_cast<std::uint8_t>(0x100 - sum);
}

}  // namespace rur::sim
