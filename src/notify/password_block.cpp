// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/password_block.h"

namespace rur {

std::string CutPassword(std::string_view password) {
  if (password.size() <= kPasswordMaxLength) return std::string(password);
  std::size_t length = kPasswordMaxLength;
  // A continuation byte at the cut means the character started before it: drop that character.
  while (length > 0 && (static_cast<std::uint8_t>(password[length]) & 0xC0) == 0x80) --length;
  return std::string(password.substr(0, length));
}

PasswordBlock EncodePasswordBlock(std::string_view password, std::uint8_t key, bool login) {
  const std::string cut = CutPassword(password);
  PasswordBlock block{};
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < kPasswordBlockKeyOffset; ++i) {
    const std::uint8_t v = i < cut.size() ? static_cast<std::uint8_t>(static_cast<std::uint8_t>(cut[i]) + i)
                                          : static_cast<std::uint8_t>(i);
    sum = static_cast<std::uint8_t>(sum + v);
    block[i] = static_cast<std::uint8_t>(key ^ v ^ MaskTable[i % MaskTable.size()]);
  }
  block[kPasswordBlockKeyOffset] = key;
  block[kPasswordBlockCheckOffset] = static_cast<std::uint8_t>(sum ^ key ^ (login ? 1 : 0));
  return block;
}

DecodedPassword DecodePasswordBlock(const PasswordBlock& block) {
  const std::uint8_t key = block[kPasswordBlockKeyOffset];
  DecodedPassword decoded;
  std::uint8_t sum = 0;
  bool ended = false;
  for (std::size_t i = 0; i < kPasswordBlockKeyOffset; ++i) {
    const auto v = static_cast<std::uint8_t>(block[i] ^ key ^ MaskTable[i % MaskTable.size()]);
    sum = static_cast<std::uint8_t>(sum + v);
    const auto character = static_cast<std::uint8_t>(v - i);
    if (character == 0) ended = true;
    if (!ended) decoded.password += static_cast<char>(character);
  }
  const std::uint8_t check = block[kPasswordBlockCheckOffset];
  const auto expected = static_cast<std::uint8_t>(sum ^ key);
  if (expected == check) {
    decoded.authState = kAuthNone;
  } else if ((expected ^ check) == 1) {
    decoded.authState = kAuthLogin;
  } else {
    decoded.authState = kAuthBadBlock;
    decoded.password = std::string(kBadPasswordText);
  }
  return decoded;
}

}  // namespace rur
