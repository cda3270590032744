// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ata_text.h"

namespace rur {

char PrintableCharacter(std::uint8_t byte) { return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?'; }

std::string AtaStringToText(const std::uint8_t* field, std::size_t length) {
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t c = field[i ^ 1u];
    if (c == 0) break;
    text.push_back(PrintableCharacter(c));
  }
  return text;
}

std::string TrimModelText(std::string text) {
  constexpr std::size_t kKeep = 6;
  while (text.size() > kKeep && text.back() == ' ') text.pop_back();
  return text;
}

void TextToAtaString(const std::string& text, std::uint8_t* field, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::size_t from = i ^ 1u;
    field[i] = from < text.size() ? static_cast<std::uint8_t>(text[from]) : ' ';
  }
}

}  // namespace rur
