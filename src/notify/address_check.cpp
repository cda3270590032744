// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/address_check.h"

#include <cstring>

namespace rur {

namespace {

// Characters of an unquoted local part besides letters and digits; bytes of UTF-8 characters pass.
constexpr const char* kLocalSpecials = "!#$%&'*+-/=?^_`{|}~.";

bool IsAsciiAlnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

bool DotsWellPlaced(std::string_view part) {
  return !part.empty() && part.front() != '.' && part.back() != '.' && part.find("..") == std::string_view::npos;
}

std::string DomainProblem(std::string_view domain) {
  if (domain.empty()) return "it has no domain after the @";
  if (domain.front() == '[') {
    if (domain.back() != ']' || domain.size() < 3) return "its address literal lacks the closing ]";
    return {};
  }
  if (!DotsWellPlaced(domain)) return "its domain has an empty part between dots";
  std::size_t start = 0;
  while (start <= domain.size()) {
    std::size_t end = domain.find('.', start);
    if (end == std::string_view::npos) end = domain.size();
    const std::string_view label = domain.substr(start, end - start);
    if (label.front() == '-' || label.back() == '-') return "a part of its domain begins or ends with -";
    for (const char c : label) {
      const auto byte = static_cast<unsigned char>(c);
      if (!IsAsciiAlnum(byte) && byte != '-' && byte < 0x80) return std::string("its domain holds the character ") + c;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

std::string AddressProblem(std::string_view address) {
  if (address.empty()) return "it is empty";
  if (address.size() > kMaxAddressLength)
    return "it is " + std::to_string(address.size()) + " bytes long, more than " + std::to_string(kMaxAddressLength);
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ' || byte == '\t') return "it holds a space";
    if (byte < 0x20 || byte == 0x7F) return "it holds a control character";
  }
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) return "it has no @";
  const std::string_view local = address.substr(0, at);
  if (local.empty()) return "it has nothing before the @";
  if (local.size() > kMaxLocalPartLength)
    return "its part before the @ is longer than " + std::to_string(kMaxLocalPartLength) + " bytes";
  if (!DotsWellPlaced(local)) return "its part before the @ has a misplaced dot";
  for (const char c : local) {
    const auto byte = static_cast<unsigned char>(c);
    if (!IsAsciiAlnum(byte) && byte < 0x80 && std::strchr(kLocalSpecials, c) == nullptr)
      return std::string("it holds the character ") + c + " before the @";
  }
  return DomainProblem(address.substr(at + 1));
}

}  // namespace rur
