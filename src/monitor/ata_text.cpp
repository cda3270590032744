// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ata_text.h"

#include <algorithm>

#include "platform/safe_text.h"

namespace rur {
namespace {

std::string WithoutBlanksAround(const std::string& text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

}  // namespace

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

std::string AtaSerialKey(const std::uint8_t* field, std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(field[i ^ 1u]);
  const std::size_t end = bytes.find_last_not_of('\0');
  const std::string used = end == std::string::npos ? std::string() : bytes.substr(0, end + 1);
  const bool plain = std::all_of(used.begin(), used.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
  return plain ? KeyText(WithoutBlanksAround(used)) : KeyText(bytes);
}

std::string EarlierSerialKey(const std::string& key) {
  std::string bytes;
  if (!HexKeyBytes(key, bytes)) return {};
  std::string text;
  for (const char c : bytes) {
    if (c == '\0') break;
    text.push_back(PrintableCharacter(static_cast<std::uint8_t>(c)));
  }
  return WithoutBlanksAround(text);
}

}  // namespace rur
