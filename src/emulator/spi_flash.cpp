#include "emulator/spi_flash.h"

#include <algorithm>

namespace rur::sim {

SpiFlash::SpiFlash() : bytes_(kSize, kErased) {}

void SpiFlash::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint64_t at = std::uint64_t{address} + i;
    out[i] = at < kSize ? bytes_[at] : kErased;
  }
}

void SpiFlash::EraseSector(std::uint32_t address) {
  if (address >= kSize) return;
  const std::uint32_t start = address - address % kSectorSize;
  std::fill_n(bytes_.begin() + start, kSectorSize, kErased);
}

void SpiFlash::Program(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint64_t at = std::uint64_t{address} + i;
    if (at >= kSize) break;
    bytes_[at] &= data[i];
  }
}

void SpiFlash::Fill(const std::vector<std::uint8_t>& image) {
  std::fill(bytes_.begin(), bytes_.end(), kErased);
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), kSize), bytes_.begin());
}

std::size_t SpiFlash::usedLength() const {
  const auto last = std::find_if(bytes_.rbegin(), bytes_.rend(), [](std::uint8_t b) { return b != kErased; });
  return static_cast<std::size_t>(bytes_.rend() - last);
}

}  // namespace rur::sim
