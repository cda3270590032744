// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/password_block.h"

#include <algorithm>

namespace rur {

namespace {

constexpr std::size_t kClassicPayload = kPasswordBlockSize - kPasswordBlockTrailer;

}  // namespace

PasswordBlock EncodePasswordBlock(std::string_view password, std::uint8_t key, bool login) {
  // The payload keeps room for an ending zero whenever the password is longer than the classic one.
  const std::size_t payload =
      password.size() <= kPasswordClassicLength ? kClassicPayload : std::max(kClassicPayload, password.size() + 1);
  PasswordBlock block(payload + kPasswordBlockTrailer, 0);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < payload; ++i) {
    const std::uint8_t v = i < password.size() ? static_cast<std::uint8_t>(static_cast<std::uint8_t>(password[i]) + i)
                                               : static_cast<std::uint8_t>(i);
    sum = static_cast<std::uint8_t>(sum + v);
    block[i] = static_cast<std::uint8_t>(key ^ v ^ MaskTable[i % MaskTable.size()]);
  }
  block[payload] = key;
  block[payload + 1] = static_cast<std::uint8_t>(sum ^ key ^ (login ? 1 : 0));
  return block;
}

std::uint8_t PasswordBlockKey(const PasswordBlock& block) {
  return block.size() >= kPasswordBlockSize ? block[block.size() - kPasswordBlockTrailer] : 0;
}

DecodedPassword DecodePasswordBlock(const PasswordBlock& block) {
  DecodedPassword decoded;
  if (block.size() < kPasswordBlockSize) {
    decoded.authState = kAuthBadBlock;
    decoded.password = std::string(kBadPasswordText);
    return decoded;
  }
  const std::size_t payload = block.size() - kPasswordBlockTrailer;
  const std::uint8_t key = block[payload];
  std::uint8_t sum = 0;
  bool ended = false;
  for (std::size_t i = 0; i < payload; ++i) {
    const auto v = static_cast<std::uint8_t>(block[i] ^ key ^ MaskTable[i % MaskTable.size()]);
    sum = static_cast<std::uint8_t>(sum + v);
    const auto character = static_cast<std::uint8_t>(v - i);
    if (character == 0) ended = true;
    if (!ended) decoded.password += static_cast<char>(character);
  }
  const std::uint8_t check = block[payload + 1];
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
