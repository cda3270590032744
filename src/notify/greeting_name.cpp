// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/greeting_name.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "notify/ehlo_name.h"

namespace rur {

namespace {

constexpr const char* kLoopbackLiteral = "[127.0.0.1]";

// The address literal of this end of a connection to the server: a datagram socket "connected"
// there sends nothing, yet the system picks the address it would leave from.
std::string LocalAddressLiteral(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
    return kLoopbackLiteral;
  std::string literal = kLoopbackLiteral;
  const int probe = ::socket(found->ai_family, SOCK_DGRAM, 0);
  sockaddr_storage local{};
  socklen_t length = sizeof(local);
  if (probe >= 0 && ::connect(probe, found->ai_addr, found->ai_addrlen) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* address = local.ss_family == AF_INET6
                              ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&local)->sin6_addr)
                              : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&local)->sin_addr);
    if (::inet_ntop(local.ss_family, address, text, sizeof(text)) != nullptr) literal = AddressLiteral(text);
  }
  if (probe >= 0) ::close(probe);
  ::freeaddrinfo(found);
  return literal;
}

}  // namespace

std::string GreetingName(const std::string& serverHost, std::uint16_t serverPort) {
  constexpr std::size_t kHostNameRoom = 256;
  char hostName[kHostNameRoom] = {};
  const bool named = ::gethostname(hostName, sizeof(hostName) - 1) == 0;
  std::string name = named ? EhloName(hostName, "") : std::string();
  return name.empty() ? LocalAddressLiteral(serverHost, serverPort) : name;
}

}  // namespace rur
