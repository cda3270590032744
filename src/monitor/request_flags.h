// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Requests of the poll cycle, bits of one byte; a second byte holds the same bits as busy marks.

#include <cstdint>

namespace rur {

constexpr std::uint8_t REQ_REFRESH = 0x01;
constexpr std::uint8_t REQ_SMART_THRESHOLDS = 0x08;
constexpr std::uint8_t MONITOR_ARMED = 0x10;
constexpr std::uint8_t REQ_SMART_DATA = 0x20;
// The requests the dispatcher serves.
constexpr std::uint8_t kServedRequests = REQ_REFRESH | REQ_SMART_THRESHOLDS | REQ_SMART_DATA;  // 0x29
// What a completed detection asks for at once.
constexpr std::uint8_t kRequestsAfterDetection = kServedRequests;

}  // namespace rur
