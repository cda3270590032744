#pragma once
// Which drive a command that opens its own device goes to: the drive being probed while
// detection runs, otherwise the selected device. Entries keep the drive number in bits 0..3.

#include <cstdint>

namespace rur {

constexpr unsigned CommandTargetDrive(bool detecting, std::uint8_t probedEntry, std::uint8_t selectedEntry) {
  return (detecting ? probedEntry : selectedEntry) & 0x0Fu;
}

}  // namespace rur
