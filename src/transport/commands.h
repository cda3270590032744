// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's command table.

#include <cstdint>

namespace rur {

constexpr std::uint8_t CMD_QUERY = 0x10;  // the query code is the opcode: 0x10, 0x11, 0x15, 0x17
constexpr std::uint8_t CMD_SPI_READ = 0x20;
constexpr std::uint8_t CMD_SPI_ERASE = 0x23;
constexpr std::uint8_t CMD_SPI_WRITE = 0x25;
constexpr std::uint8_t CMD_ATA_ISSUE = 0xB1;
constexpr std::uint8_t CMD_ATA_FETCH = 0xB2;

constexpr std::uint8_t QUERY_PROBE = 0x10;
constexpr std::uint8_t QUERY_IDENTITY = 0x11;
constexpr std::uint8_t QUERY_REBUILD = 0x15;
constexpr std::uint8_t QUERY_MEMBERS = 0x17;

constexpr std::uint8_t kQueryParams[3] = {0xCF, 0xDF, 0xEF};
constexpr std::uint8_t kSpiParam = 0x01;

constexpr std::uint8_t ATA_IDENTIFY_DEVICE = 0xEC;
constexpr std::uint8_t ATA_SMART = 0xB0;
constexpr std::uint8_t SMART_READ_DATA = 0xD0;
constexpr std::uint8_t SMART_READ_THRESHOLDS = 0xD1;
constexpr unsigned kAtaChunkCount = 4;

// Poll limits: below 10 a number of polls, otherwise milliseconds.
constexpr std::uint32_t kProbePollLimitMs = 1000;
constexpr std::uint32_t kCommandPollLimitMs = 3000;
constexpr std::uint32_t kAtaPollLimit = 3;

constexpr std::uint32_t kSpiBlockSize = 128;
// SPI addresses travel as 16-bit numbers of 128-byte blocks, so 8 MiB are reachable.
constexpr std::uint32_t kSpiReachableBytes = 0x10000u * kSpiBlockSize;

// The 20-byte register FIS for the ATA pass-through, before the command and features bytes.
constexpr std::uint8_t kFisTemplate[20] = {0x27, 0x80, 0xEC, 0x00, 0x01, 0x4F, 0xC2, 0xE0, 0x00, 0x00,
                                           0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::size_t kFisCommandOffset = 2;
constexpr std::size_t kFisFeaturesOffset = 3;

}  // namespace rur
