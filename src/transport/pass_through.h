// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// READ(10) and INQUIRY, the only two requests the program ever sends to a disk.

#include <cstdint>

#include "transport/scsi_device.h"

namespace rur {

constexpr std::uint8_t kOpRead10 = 0x28;
constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint32_t kInquiryLength = 36;
constexpr std::uint32_t kReadTimeoutMs = 3000u * 1000u;
constexpr std::uint32_t kInquiryTimeoutMs = 200u * 1000u;

ScsiRequest MakeRead10Request(std::uint32_t lba, std::uint8_t* buffer, std::uint8_t count);
ScsiRequest MakeInquiryRequest(std::uint8_t* buffer);

// Physical drive numbers beyond what the device table can hold open nothing: masking them would
// reach another drive.
DeviceHandle OpenDrive(DriveSource& source, unsigned number);
bool ReadSectors(ScsiDevice& device, std::uint32_t lba, std::uint8_t* buffer, std::uint8_t count);
bool InquiryDevice(ScsiDevice& device, std::uint8_t* buffer);

}  // namespace rur
