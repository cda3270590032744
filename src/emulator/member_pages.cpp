// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/member_pages.h"

#include <algorithm>

#include "emulator/byte_fields.h"

namespace rur::sim {
namespace {

constexpr std::size_t kChecksumOffset = 511;

// IDENTIFY DEVICE words, as byte offsets.
constexpr std::size_t kIdentifyGeneral = 0;
constexpr std::size_t kIdentifySerial = 20;         // words 10..19
constexpr std::size_t kIdentifyFirmware = 46;       // words 23..26
constexpr std::size_t kIdentifyModel = 54;          // words 27..46
constexpr std::size_t kIdentifyCapabilities = 98;   // word 49
constexpr std::size_t kIdentifyLba28Sectors = 120;  // words 60..61
constexpr std::size_t kIdentifySupported = 166;     // word 83
constexpr std::size_t kIdentifyEnabled = 172;       // word 86
constexpr std::size_t kIdentifyLba48Sectors = 200;  // words 100..103
constexpr std::size_t kIdentifyIntegrity = 510;     // word 255: signature A5h, then the checksum
constexpr std::uint8_t kIntegritySignature = 0xA5;
constexpr std::uint64_t kLba28Limit = 0x0FFFFFFF;

// SMART pages.
constexpr std::size_t kSmartRevision = 0;
constexpr std::size_t kSmartTable = 2;
constexpr std::size_t kSmartEntrySize = 12;
constexpr std::size_t kSmartEntries = 30;
constexpr std::size_t kSmartOfflineStatus = 362;
constexpr std::size_t kSmartOfflineCapability = 367;
constexpr std::size_t kSmartCapability = 368;
constexpr std::size_t kSmartErrorLogging = 370;
constexpr std::size_t kSmartShortTestMinutes = 372;
constexpr std::size_t kSmartExtendedTestMinutes = 373;
constexpr std::uint16_t kSmartPageRevision = 0x0010;

}  // namespace

Sector BuildIdentifyPage(const MemberDisk& disk) {
  Sector page{};
  PutLittleEndian(page.data() + kIdentifyGeneral, 2, 0x0040);  // fixed, non-removable ATA device
  PutAtaString(page.data() + kIdentifySerial, 20, disk.serial);
  PutAtaString(page.data() + kIdentifyFirmware, 8, disk.firmware);
  PutAtaString(page.data() + kIdentifyModel, 40, disk.model);
  PutLittleEndian(page.data() + kIdentifyCapabilities, 2, 0x0F00);  // LBA and DMA
  PutLittleEndian(page.data() + kIdentifyLba28Sectors, 4, std::min(disk.capacity, kLba28Limit));
  PutLittleEndian(page.data() + kIdentifySupported, 2, 0x7400);  // 48-bit addressing among others
  PutLittleEndian(page.data() + kIdentifyEnabled, 2, 0x3400);
  PutLittleEndian(page.data() + kIdentifyLba48Sectors, 8, disk.capacity);
  page[kIdentifyIntegrity] = kIntegritySignature;
  page[kChecksumOffset] = ZeroSumChecksum(page.data(), kChecksumOffset);
  return page;
}

Sector BuildSmartDataPage(const MemberDisk& disk) {
  Sector page{};
  PutLittleEndian(page.data() + kSmartRevision, 2, kSmartPageRevision);
  for (std::size_t n = 0; n < std::min(disk.smart.size(), kSmartEntries); ++n) {
    const SmartAttribute& a = disk.smart[n];
    std::uint8_t* entry = page.data() + kSmartTable + kSmartEntrySize * n;
    entry[0] = a.id;
    PutLittleEndian(entry + 1, 2, a.flags);
    entry[3] = a.value;
    entry[4] = a.worst;
    PutLittleEndian(entry + 5, 6, a.raw);
  }
  page[kSmartOfflineStatus] = 0x82;  // offline collection completed without error
  page[kSmartOfflineCapability] = 0x7B;
  PutLittleEndian(page.data() + kSmartCapability, 2, 0x0003);
  page[kSmartErrorLogging] = 0x01;
  page[kSmartShortTestMinutes] = 2;
  page[kSmartExtendedTestMinutes] = 120;
  page[kChecksumOffset] = ZeroSumChecksum(page.data(), kChecksumOffset);
  return page;
}

Sector BuildSmartThresholdPage(const MemberDisk& disk) {
  Sector page{};
  PutLittleEndian(page.data() + kSmartRevision, 2, kSmartPageRevision);
  for (std::size_t n = 0; n < std::min(disk.smart.size(), kSmartEntries); ++n) {
    std::uint8_t* entry = page.data() + kSmartTable + kSmartEntrySize * n;
    entry[0] = disk.smart[n].id;
    entry[1] = disk.smart[n].threshold;
  }
  page[kChecksumOffset] = ZeroSumChecksum(page.data(), kChecksumOffset);
  return page;
}

}  // namespace rur::sim
