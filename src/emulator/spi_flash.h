// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's 8 MiB SPI NOR flash: reading is free, erasing sets a whole 4 KiB sector to FFh,
// and programming can only clear bits, so a block written twice without an erase holds the AND
// of both writes, as on the chip. Only sectors that hold something besides FFh take memory, so a
// simulated enclosure costs about the size of its image, not of the whole chip.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rur::sim {

class SpiFlash {
 public:
  static constexpr std::uint32_t kSize = 8u * 1024u * 1024u;
  static constexpr std::uint32_t kSectorSize = 4096;
  static constexpr std::uint8_t kErased = 0xFF;

  SpiFlash();

  // Bytes beyond the end of the chip read as erased.
  void Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;
  void EraseSector(std::uint32_t address);  // the sector that holds address
  void Program(std::uint32_t address, const std::uint8_t* data, std::size_t length);
  // Factory content: the whole chip erased, then the image placed from address 0.
  void Fill(const std::vector<std::uint8_t>& image);

  std::uint8_t at(std::uint32_t address) const;
  void set(std::uint32_t address, std::uint8_t value);
  // The whole chip, byte for byte.
  std::vector<std::uint8_t> bytes() const;
  // The used part: everything up to the last byte that is not erased.
  std::size_t usedLength() const;

 private:
  std::uint8_t* Writable(std::uint32_t address);  // the byte, its sector made real first

  std::vector<std::vector<std::uint8_t>> sectors_;  // empty: the sector is erased
};

}  // namespace rur::sim
