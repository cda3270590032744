// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/disk_data.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "transport/scsi_device.h"

namespace rur::sim {
namespace {

constexpr std::size_t kVendorOffset = 8;
constexpr std::size_t kProductOffset = 16;
constexpr std::size_t kRevisionOffset = 32;

void PutPadded(std::uint8_t* at, std::size_t length, const std::string& text) {
  for (std::size_t i = 0; i < length; ++i)
    at[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{' '};
}

}  // namespace

void FillDiskData(std::uint32_t lba, std::uint8_t* sector) {
  for (std::uint32_t i = 0; i < kSectorSize; ++i)
    sector[i] = static_cast<std::uint8_t>((lba * 131u + i * 7u) ^ (lba >> 8));
}

void FillInquiry(const InquirySpec& inquiry, std::uint8_t* buffer, std::uint32_t length) {
  std::array<std::uint8_t, kStandardInquiryLength> data{};
  data[0] = 0x00;  // direct-access block device
  data[2] = 0x06;  // SPC-4
  data[3] = 0x02;  // response data format
  data[4] = kStandardInquiryLength - 5;
  PutPadded(data.data() + kVendorOffset, 8, inquiry.vendor);
  PutPadded(data.data() + kProductOffset, 16, inquiry.product);
  PutPadded(data.data() + kRevisionOffset, 4, inquiry.revision);
  std::memset(buffer, 0, length);
  std::memcpy(buffer, data.data(), std::min<std::uint32_t>(length, kStandardInquiryLength));
}

}  // namespace rur::sim
