// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stored form of the SMTP password and the login switch: 18 bytes, the password scrambled
// with a key byte and a fixed mask, then the key, then a check byte that also carries the
// login-authentication switch. It keeps the password out of plain sight in the settings file;
// it is no encryption.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rur {

constexpr std::size_t kPasswordBlockSize = 18;
constexpr std::size_t kPasswordBlockKeyOffset = 16;
constexpr std::size_t kPasswordBlockCheckOffset = 17;
constexpr std::size_t kPasswordMaxLength = 15;

using PasswordBlock = std::array<std::uint8_t, kPasswordBlockSize>;

constexpr std::array<std::uint8_t, 8> MaskTable = {0x5A, 0xC3, 0x1E, 0x97, 0x3C, 0xE1, 0x68, 0xB4};

// AuthState: 0 no login, 1 login, 2 a block that fits neither (its password reads "ErrorFormat").
constexpr std::uint8_t kAuthNone = 0;
constexpr std::uint8_t kAuthLogin = 1;
constexpr std::uint8_t kAuthBadBlock = 2;
constexpr std::string_view kBadPasswordText = "ErrorFormat";

struct DecodedPassword {
  std::string password;
  std::uint8_t authState = kAuthNone;
};

// The password is cut to 15 bytes (never inside a UTF-8 character).
PasswordBlock EncodePasswordBlock(std::string_view password, std::uint8_t key, bool login);
DecodedPassword DecodePasswordBlock(const PasswordBlock& block);

// The first `kPasswordMaxLength` bytes of a text, backing off to a whole UTF-8 character.
std::string CutPassword(std::string_view password);

}  // namespace rur
