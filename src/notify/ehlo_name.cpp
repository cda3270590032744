// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/ehlo_name.h"

#include <cstdint>
#include <vector>

namespace rur {

namespace {

constexpr std::size_t kMaxLabelLength = 63;
constexpr std::size_t kMaxNameLength = 253;
constexpr std::string_view kAcePrefix = "xn--";

// Punycode's parameters.
constexpr std::uint32_t kBase = 36;
constexpr std::uint32_t kTMin = 1;
constexpr std::uint32_t kTMax = 26;
constexpr std::uint32_t kSkew = 38;
constexpr std::uint32_t kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr std::uint32_t kInitialN = 0x80;

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;

// The code points of a UTF-8 text; nullopt for a malformed one.
std::optional<std::u32string> DecodeUtf8(std::string_view text) {
  std::u32string points;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t point = 0;
    if (lead < 0x80) {
      length = 1;
      point = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      point = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      point = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      point = lead & 0x07;
    } else {
      return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      point = (point << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > kMaxCodePoint || (point >= kSurrogateFirst && point <= kSurrogateLast))
      return std::nullopt;
    points.push_back(point);
    i += length;
  }
  return points;
}

// Lower case for the letters host names are written in most (Latin, Greek, Cyrillic); the name
// of a host is set in lower case almost always, this catches the rest.
char32_t LowerCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + (U'a' - U'A');
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
    return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  constexpr char32_t kCapitalYDiaeresis = 0x178;
  constexpr char32_t kSmallYDiaeresis = 0xFF;
  if (c == kCapitalYDiaeresis) return kSmallYDiaeresis;
  if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x138 && c != 0x149) {
    // Latin Extended-A pairs each capital with the small letter after it: capitals at even code
    // points, but at odd ones in U+0139..U+0148 and U+0179..U+017E.
    const bool capitalsEven = c < 0x138 || (c >= 0x14A && c < kCapitalYDiaeresis);
    if (capitalsEven == (c % 2 == 0)) return c + 1;
  }
  return c;
}

char DigitOf(std::uint32_t digit) { return static_cast<char>(digit < 26 ? 'a' + digit : '0' + (digit - 26)); }

std::uint32_t Adapt(std::uint32_t delta, std::uint32_t points, bool first) {
  delta = first ? delta / kDamp : delta / 2;
  delta += delta / points;
  std::uint32_t k = 0;
  while (delta > ((kBase - kTMin) * kTMax) / 2) {
    delta /= kBase - kTMin;
    k += kBase;
  }
  return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

// One label's punycode (without the prefix); nullopt on overflow.
std::optional<std::string> Punycode(const std::u32string& label) {
  std::string out;
  for (const char32_t c : label)
    if (c < kInitialN) out.push_back(static_cast<char>(c));
  const std::size_t basic = out.size();
  if (basic > 0) out.push_back('-');
  std::uint32_t n = kInitialN;
  std::uint32_t delta = 0;
  std::uint32_t bias = kInitialBias;
  std::size_t handled = basic;
  while (handled < label.size()) {
    char32_t next = kMaxCodePoint + 1;
    for (const char32_t c : label)
      if (c >= n && c < next) next = c;
    const std::uint64_t step = static_cast<std::uint64_t>(next - n) * (handled + 1);
    if (delta + step > UINT32_MAX) return std::nullopt;
    delta += static_cast<std::uint32_t>(step);
    n = next;
    for (const char32_t c : label) {
      if (c < n && ++delta == 0) return std::nullopt;
      if (c != n) continue;
      std::uint32_t q = delta;
      for (std::uint32_t k = kBase;; k += kBase) {
        const std::uint32_t t = k <= bias ? kTMin : (k >= bias + kTMax ? kTMax : k - bias);
        if (q < t) break;
        out.push_back(DigitOf(t + (q - t) % (kBase - t)));
        q = (q - t) / (kBase - t);
      }
      out.push_back(DigitOf(q));
      bias = Adapt(delta, static_cast<std::uint32_t>(handled + 1), handled == basic);
      delta = 0;
      ++handled;
    }
    ++delta;
    ++n;
  }
  return out;
}

bool IsLetterDigitHyphen(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

}  // namespace

std::optional<std::string> AsciiHostName(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);  // the root's dot says nothing here
  const std::optional<std::u32string> points = DecodeUtf8(name);
  if (!points || points->empty()) return std::nullopt;
  std::string ascii;
  std::u32string label;
  const auto finishLabel = [&]() -> bool {
    if (label.empty()) return false;
    std::string encoded;
    bool plain = true;
    for (const char32_t c : label) plain = plain && c < kInitialN;
    if (plain) {
      for (const char32_t c : label) encoded.push_back(static_cast<char>(c));
    } else {
      const std::optional<std::string> code = Punycode(label);
      if (!code) return false;
      encoded = std::string(kAcePrefix) + *code;
    }
    if (encoded.size() > kMaxLabelLength || encoded.front() == '-' || encoded.back() == '-') return false;
    for (const char c : encoded)
      if (!IsLetterDigitHyphen(c)) return false;
    if (!ascii.empty()) ascii.push_back('.');
    ascii += encoded;
    label.clear();
    return true;
  };
  for (const char32_t c : *points) {
    // The full stops of other scripts separate labels too.
    if (c == U'.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61) {
      if (!finishLabel()) return std::nullopt;
    } else {
      label.push_back(LowerCase(c));
    }
  }
  if (!finishLabel() || ascii.size() > kMaxNameLength) return std::nullopt;
  return ascii;
}

std::string AddressLiteral(std::string_view address) {
  if (address.find(':') != std::string_view::npos) return "[IPv6:" + std::string(address) + "]";
  return "[" + std::string(address) + "]";
}

std::string EhloName(std::string_view hostName, std::string_view addressLiteral) {
  const std::optional<std::string> ascii = AsciiHostName(hostName);
  return ascii ? *ascii : std::string(addressLiteral);
}

}  // namespace rur
