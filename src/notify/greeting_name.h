// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The name this host greets a mail server with (EHLO): its host name in ASCII form, or else the
// address literal of the end a connection to that server would leave from.

#include <cstdint>
#include <string>

namespace rur {

std::string GreetingName(const std::string& serverHost, std::uint16_t serverPort);

}  // namespace rur
