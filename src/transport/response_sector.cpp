// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/response_sector.h"

#include <algorithm>

namespace rur {
namespace {

bool Holds(const Sector& sector, std::size_t offset, std::string_view signature) {
  return std::equal(signature.begin(), signature.end(), sector.begin() + offset,
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

void Put(Sector& sector, std::size_t offset, std::string_view signature) {
  std::copy(signature.begin(), signature.end(), sector.begin() + offset);
}

}  // namespace

std::optional<ControllerKind> MatchSignatures(const Sector& sector) {
  if (Holds(sector, kResponseFirstSignatureOffset, kRaidFirstSignature) &&
      Holds(sector, kResponseSecondSignatureOffset, kRaidSecondSignature))
    return ControllerKind::Raid;
  if (Holds(sector, kResponseFirstSignatureOffset, kPortMultiplierFirstSignature) &&
      Holds(sector, kResponseSecondSignatureOffset, kPortMultiplierSecondSignature))
    return ControllerKind::PortMultiplier;
  return std::nullopt;
}

void WriteSignatures(Sector& sector, ControllerKind kind) {
  const bool raid = kind == ControllerKind::Raid;
  Put(sector, kResponseFirstSignatureOffset, raid ? kRaidFirstSignature : kPortMultiplierFirstSignature);
  Put(sector, kResponseSecondSignatureOffset, raid ? kRaidSecondSignature : kPortMultiplierSecondSignature);
}

}  // namespace rur
