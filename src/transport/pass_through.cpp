// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/pass_through.h"

namespace rur {

ScsiRequest MakeRead10Request(std::uint32_t lba, std::uint8_t* buffer, std::uint8_t count) {
  ScsiRequest request;
  request.cdb[0] = kOpRead10;
  request.cdb[2] = static_cast<std::uint8_t>(lba >> 24);
  request.cdb[3] = static_cast<std::uint8_t>(lba >> 16);
  request.cdb[4] = static_cast<std::uint8_t>(lba >> 8);
  request.cdb[5] = static_cast<std::uint8_t>(lba);
  request.cdb[8] = count;  // Cdb[7] stays 0: at most 255 sectors a request
  request.buffer = buffer;
  request.transferLength = static_cast<std::uint32_t>(count) * kSectorSize;
  request.timeoutMs = kReadTimeoutMs;
  return request;
}

ScsiRequest MakeInquiryRequest(std::uint8_t* buffer) {
  ScsiRequest request;
  request.cdb[0] = kOpInquiry;
  request.cdb[4] = static_cast<std::uint8_t>(kInquiryLength);
  request.buffer = buffer;
  request.transferLength = kInquiryLength;
  request.timeoutMs = kInquiryTimeoutMs;
  return request;
}

DeviceHandle OpenDrive(DriveSource& source, unsigned number) {
  if (number >= kDriveNumberLimit) return nullptr;
  return source.OpenPhysicalDrive(number);
}

bool ReadSectors(ScsiDevice& device, std::uint32_t lba, std::uint8_t* buffer, std::uint8_t count) {
  if (buffer == nullptr || count == 0) return false;
  return device.Execute(MakeRead10Request(lba, buffer, count));
}

bool InquiryDevice(ScsiDevice& device, std::uint8_t* buffer) {
  if (buffer == nullptr) return false;
  return device.Execute(MakeInquiryRequest(buffer));
}

}  // namespace rur
