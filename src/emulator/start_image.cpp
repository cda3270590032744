// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/start_image.h"

#include <algorithm>

#include "emulator/byte_fields.h"

namespace rur::sim {

std::vector<std::uint8_t> BuildStartImage(const FirmwareSpec& firmware,
                                          const std::array<std::uint8_t, 2>& productCode) {
  std::vector<std::uint8_t> image(firmware.size);
  // Code bytes: a fixed pseudo-random stream seeded by the version, so two versions differ throughout.
  std::uint32_t state = 0x9E3779B9u ^ firmware.version;
  for (std::uint8_t& byte : image) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  std::copy(std::begin(kImageSignature), std::end(kImageSignature), image.begin() + image_offset::kSignature);
  std::copy(std::begin(kImageGuid), std::end(kImageGuid), image.begin() + image_offset::kGuid);
  image[image_offset::kFlashType] = firmware.type;
  PutBigEndian(image.data() + image_offset::kVersion, 4, firmware.version);
  const auto code = firmware.productCode.value_or(productCode);
  image[image_offset::kProductCode] = code[0];
  image[image_offset::kProductCode + 1] = code[1];
  return image;
}

}  // namespace rur::sim
