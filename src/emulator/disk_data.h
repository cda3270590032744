// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an ordinary disk gives back: sector contents and INQUIRY data. Every simulated drive serves
// these for reads that are not part of the controller's protocol.

#include <cstdint>

#include "emulator/scenario.h"

namespace rur::sim {

constexpr std::uint32_t kStandardInquiryLength = 36;

// A fixed pattern that depends on the LBA and never carries an answer's signatures.
void FillDiskData(std::uint32_t lba, std::uint8_t* sector);
// Standard INQUIRY data of a direct-access device; bytes beyond 36 are zero.
void FillInquiry(const InquirySpec& inquiry, std::uint8_t* buffer, std::uint32_t length);

}  // namespace rur::sim
