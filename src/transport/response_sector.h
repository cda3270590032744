// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The answer block the controller leaves at LBA 17, and the two signature pairs that mark it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "transport/scsi_device.h"

namespace rur {

constexpr std::size_t kSignatureSize = 16;
constexpr std::size_t kResponseFirstSignatureOffset = 0;
constexpr std::size_t kResponseStatusOffset = 48;
constexpr std::size_t kResponseDataWindowOffset = 80;
constexpr std::size_t kResponseDataWindowSize = 128;
constexpr std::size_t kResponseSecondSignatureOffset = 496;

constexpr std::string_view kRaidFirstSignature = "__KELVARO4417C__";
constexpr std::string_view kRaidSecondSignature = "__SATA6GRAID01__";
constexpr std::string_view kPortMultiplierFirstSignature = "__TORLINE5530D__";
constexpr std::string_view kPortMultiplierSecondSignature = "_PORTMULTIPLIER_";

// 0: the RAID controller answer; 1: the port-multiplier answer.
enum class ControllerKind : std::uint8_t { Raid = 0, PortMultiplier = 1 };

// The kind whose two signatures the sector carries, or nothing when it carries no matching pair.
std::optional<ControllerKind> MatchSignatures(const Sector& sector);
// Writes the signature pair of a kind into a sector (used by the simulated controller).
void WriteSignatures(Sector& sector, ControllerKind kind);

}  // namespace rur
