// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stored form of the SMTP password and the login switch: the password scrambled with a key
// byte and a fixed mask, then the key, then a check byte that also carries the login switch. It
// keeps the password out of plain sight in the settings file; it is no encryption.
//
// A password of up to 15 bytes fills the classic 18-byte block (16 payload bytes, a zero ends a
// shorter password), which older settings files hold. A longer one gets a longer payload of the
// same scheme (the password and its ending zero), so no password is ever cut. The block's size
// says which: the key and the check byte are always its last two bytes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rur {

constexpr std::size_t kPasswordBlockSize = 18;    // the classic block
constexpr std::size_t kPasswordBlockTrailer = 2;  // key byte and check byte after the payload
constexpr std::size_t kPasswordBlockKeyOffset = 16;
constexpr std::size_t kPasswordBlockCheckOffset = 17;
constexpr std::size_t kPasswordClassicLength = 15;  // the longest password the classic block holds
constexpr std::size_t kPasswordMaxLength = 255;

using PasswordBlock = std::vector<std::uint8_t>;

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

// The password is stored whole; callers refuse one over `kPasswordMaxLength` bytes beforehand.
PasswordBlock EncodePasswordBlock(std::string_view password, std::uint8_t key, bool login);
// A block shorter than the classic one reads as a bad block.
DecodedPassword DecodePasswordBlock(const PasswordBlock& block);
// The key byte of a stored block (0 for none), kept so a rewrite scrambles the same way.
std::uint8_t PasswordBlockKey(const PasswordBlock& block);

}  // namespace rur
