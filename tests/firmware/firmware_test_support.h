// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Firmware images for tests, and the device facts an image is checked against.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "firmware/firmware_image.h"

namespace rur::test {

struct ImageSpec {
  std::uint32_t length = 4096;
  std::uint8_t firmwareType = 0x21;
  std::uint32_t version = 0x14010100;
  std::uint8_t productCode[2] = {0x27, 0x60};
};

// A well-formed image; the code bytes follow a pattern so misplaced blocks show up.
inline std::vector<std::uint8_t> MakeImage(const ImageSpec& spec) {
  std::vector<std::uint8_t> bytes(spec.length);
  for (std::uint32_t i = 0; i < spec.length; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + (i >> 8)) ^ 0x5A);
  if (spec.length < image_offset::kHeaderEnd) return bytes;
  std::copy(kImageSignature.begin(), kImageSignature.end(), bytes.begin() + image_offset::kSignature);
  std::copy(kImageGuid.begin(), kImageGuid.end(), bytes.begin() + image_offset::kGuid);
  bytes[image_offset::kFirmwareType] = spec.firmwareType;
  for (int k = 0; k < 4; ++k)
    bytes[image_offset::kVersion + k] = static_cast<std::uint8_t>(spec.version >> (24 - 8 * k));
  bytes[image_offset::kProductCode] = spec.productCode[0];
  bytes[image_offset::kProductCode + 1] = spec.productCode[1];
  return bytes;
}

// Puts bytes into image as a successful load would: padded with erased bytes to whole blocks.
inline void HoldImage(FirmwareImage& image, const std::vector<std::uint8_t>& bytes) {
  image.bytes = bytes;
  image.bytes.resize((bytes.size() + kImageBlockSize - 1) / kImageBlockSize * kImageBlockSize, 0xFF);
  image.length = static_cast<std::uint32_t>(bytes.size());
  image.checksum = ImageChecksum(bytes.data(), bytes.size());
}

// A device whose identity carries this version and product code.
inline UpgradeDeviceFacts DeviceFacts(std::uint32_t version, std::uint8_t code0, std::uint8_t code1,
                                      ControllerKind kind = ControllerKind::Raid) {
  UpgradeDeviceFacts facts;
  facts.controllerKind = kind;
  for (int k = 0; k < 4; ++k)
    facts.identify[identify_offset::kFirmwareVersion + k] = static_cast<std::uint8_t>(version >> (24 - 8 * k));
  facts.identify[identify_offset::kProductCode] = code0;
  facts.identify[identify_offset::kProductCode + 1] = code1;
  return facts;
}

}  // namespace rur::test
