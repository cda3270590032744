// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/hex_dump.h"

#include <cstdio>

namespace rur::cli {

std::string HexDump(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kPerLine = 16;
  std::string text;
  char cell[24];
  for (std::size_t line = 0; line < size; line += kPerLine) {
    std::snprintf(cell, sizeof cell, "%04zX ", line);
    text += cell;
    std::string characters;
    for (std::size_t i = line; i < line + kPerLine; ++i) {
      if (i < size) {
        std::snprintf(cell, sizeof cell, " %02X", data[i]);
        text += cell;
        characters += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
      } else {
        text += "   ";
      }
    }
    text += "  |" + characters + "|\n";
  }
  return text;
}

}  // namespace rur::cli
