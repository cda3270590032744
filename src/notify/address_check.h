// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a text is one mail address a server can take (local-part@domain as SMTP writes it),
// checked when a recipient is stored so a typo is caught at the keyboard, not at the first alarm.

#include <string>
#include <string_view>

namespace rur {

// The longest address SMTP carries in a forward path.
constexpr std::size_t kMaxAddressLength = 254;
constexpr std::size_t kMaxLocalPartLength = 64;

// Empty when the address is usable; else why not, as a phrase ("it holds a space").
std::string AddressProblem(std::string_view address);

}  // namespace rur
