// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The name the program greets a mail server with (EHLO). A host may be named in any script, but
// the greeting takes ASCII only: each label with other characters goes in its IDNA form ("xn--"
// and punycode), and a name that cannot be written so at all (a space, an underscore, a label
// too long) gives way to the address literal of the connection's own end ("[192.0.2.7]").

#include <optional>
#include <string>
#include <string_view>

namespace rur {

// The ASCII form of a UTF-8 host name, in lower case; nullopt when it cannot be one.
std::optional<std::string> AsciiHostName(std::string_view name);

// RFC 5321's address literal of an IPv4 or IPv6 address in text: "[192.0.2.7]", "[IPv6:2001:db8::7]".
std::string AddressLiteral(std::string_view address);

// The greeting's name: the host name's ASCII form, or else `addressLiteral`.
std::string EhloName(std::string_view hostName, std::string_view addressLiteral);

}  // namespace rur
