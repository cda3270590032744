// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/safe_text.h"

#include <cstdint>

namespace rur {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kHexKeyPrefix = "hex:";
constexpr char kHexDigits[] = "0123456789ABCDEF";

struct Character {
  char32_t code = 0;
  std::size_t length = 1;
  bool valid = false;
};

bool Continuation(std::uint8_t byte, std::uint8_t low = 0x80, std::uint8_t high = 0xBF) {
  return byte >= low && byte <= high;
}

// The character at `at`, or an invalid one of one byte where the bytes there are not well-formed
// UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
Character CharacterAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) {
    return at + k < text.size() ? static_cast<std::uint8_t>(text[at + k]) : std::uint8_t{0};
  };
  const std::uint8_t first = byte(0);
  if (first < 0x80) return {first, 1, true};
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return {};
  }
  if (!Continuation(byte(1), low, high)) return {};
  char32_t code = first & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if (!Continuation(byte(k))) return {};
    code = (code << 6) | (byte(k) & 0x3F);
  }
  return {code, length, true};
}

bool ControlCharacter(char32_t code) { return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F); }

// Walks the text character by character: well-formed ones go to `each` (the code and its bytes),
// the others become U+FFFD.
template <typename Each>
std::string Mapped(std::string_view text, Each each) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Character c = CharacterAt(text, at);
    if (c.valid)
      each(c.code, text.substr(at, c.length), out);
    else
      out += kReplacement;
    at += c.length;
  }
  return out;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  return Mapped(text, [](char32_t, std::string_view bytes, std::string& out) { out += bytes; });
}

std::string BusText(std::string_view text) {
  return Mapped(text, [](char32_t code, std::string_view bytes, std::string& out) {
    if (code == 0)
      out += '?';
    else
      out += bytes;
  });
}

std::string MarkupText(std::string_view text) {
  return Mapped(text, [](char32_t code, std::string_view bytes, std::string& out) {
    switch (code) {
      case 0: out += '?'; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += bytes;
    }
  });
}

std::string LabelValueText(std::string_view text) {
  return Mapped(text, [](char32_t code, std::string_view bytes, std::string& out) {
    if (code == '\\')
      out += "\\\\";
    else if (code == '"')
      out += "\\\"";
    else if (code == '\n')
      out += "\\n";
    else if (ControlCharacter(code))
      out += '?';
    else
      out += bytes;
  });
}

std::string TerminalText(std::string_view text, bool keepLines) {
  return Mapped(text, [keepLines](char32_t code, std::string_view bytes, std::string& out) {
    if (keepLines && (code == '\n' || code == '\t'))
      out += bytes;
    else if (ControlCharacter(code))
      out += '?';
    else
      out += bytes;
  });
}

std::string LogLineText(std::string_view text) { return TerminalText(text); }

std::string KeyText(std::string_view bytes) {
  bool printable = !bytes.starts_with(kHexKeyPrefix);
  for (const char c : bytes) printable = printable && c >= 0x20 && c <= 0x7E;
  if (printable) return std::string(bytes);
  std::string key(kHexKeyPrefix);
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    key += kHexDigits[byte >> 4];
    key += kHexDigits[byte & 0x0F];
  }
  return key;
}

bool HexKeyBytes(std::string_view key, std::string& bytes) {
  if (!key.starts_with(kHexKeyPrefix) || (key.size() - kHexKeyPrefix.size()) % 2 != 0) return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  bytes.clear();
  for (std::size_t at = kHexKeyPrefix.size(); at < key.size(); at += 2) {
    const int high = digit(key[at]), low = digit(key[at + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

}  // namespace rur
