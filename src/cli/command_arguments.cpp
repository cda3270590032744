// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_arguments.h"

#include <cctype>

namespace rur::cli {
namespace {

bool Digits(std::string_view text, int base, std::uint64_t max, std::uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit = 0;
    if (std::isdigit(static_cast<unsigned char>(c)))
      digit = c - '0';
    else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
      digit = std::tolower(c) - 'a' + 10;
    else
      return false;
    // A digit above max must not wrap the subtraction.
    if (static_cast<std::uint64_t>(digit) > max ||
        value > (max - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base))
      return false;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  out = value;
  return true;
}

std::string_view WithoutHexPrefix(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return text.substr(2);
  return text;
}

}  // namespace

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  const std::string_view hex = WithoutHexPrefix(text);
  return hex.size() != text.size() ? Digits(hex, 16, max, out) : Digits(text, 10, max, out);
}

bool ParseHexNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  return Digits(WithoutHexPrefix(text), 16, max, out);
}

}  // namespace rur::cli
