// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/spi_flash.h"

#include <algorithm>

namespace rur::sim {

SpiFlash::SpiFlash() : sectors_(kSize / kSectorSize) {}

std::uint8_t SpiFlash::at(std::uint32_t address) const {
  address %= kSize;
  const auto& sector = sectors_[address / kSectorSize];
  return sector.empty() ? kErased : sector[address % kSectorSize];
}

std::uint8_t* SpiFlash::Writable(std::uint32_t address) {
  auto& sector = sectors_[address / kSectorSize];
  if (sector.empty()) sector.assign(kSectorSize, kErased);
  return &sector[address % kSectorSize];
}

void SpiFlash::set(std::uint32_t address, std::uint8_t value) { *Writable(address % kSize) = value; }

void SpiFlash::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint64_t at = std::uint64_t{address} + i;
    out[i] = at < kSize ? this->at(static_cast<std::uint32_t>(at)) : kErased;
  }
}

void SpiFlash::EraseSector(std::uint32_t address) {
  if (address >= kSize) return;
  std::vector<std::uint8_t>().swap(sectors_[address / kSectorSize]);
}

void SpiFlash::Program(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint64_t at = std::uint64_t{address} + i;
    if (at >= kSize) break;
    if (data[i] != kErased) *Writable(static_cast<std::uint32_t>(at)) &= data[i];
  }
}

void SpiFlash::Fill(const std::vector<std::uint8_t>& image) {
  sectors_.assign(kSize / kSectorSize, {});
  Program(0, image.data(), std::min<std::size_t>(image.size(), kSize));
}

std::vector<std::uint8_t> SpiFlash::bytes() const {
  std::vector<std::uint8_t> all(kSize, kErased);
  for (std::size_t s = 0; s < sectors_.size(); ++s)
    if (!sectors_[s].empty()) std::copy(sectors_[s].begin(), sectors_[s].end(), all.begin() + s * kSectorSize);
  return all;
}

std::size_t SpiFlash::usedLength() const {
  for (std::size_t s = sectors_.size(); s-- > 0;) {
    const auto& sector = sectors_[s];
    const auto last = std::find_if(sector.rbegin(), sector.rend(), [](std::uint8_t b) { return b != kErased; });
    if (last != sector.rend()) return s * kSectorSize + static_cast<std::size_t>(sector.rend() - last);
  }
  return 0;
}

}  // namespace rur::sim
