// SPDX-License-Identifier: GPL-3.0-or-later
// The greeting's name on Windows: the computer's DNS host name, or the address literal of the
// connection's own end, asked of Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iterator>

#include "notify/ehlo_name.h"
#include "notify/greeting_name.h"
#include "platform/windows_text.h"

namespace rur {

namespace {

constexpr const char* kLoopbackLiteral = "[127.0.0.1]";

// The computer's DNS host name in UTF-8; empty when Windows does not tell it.
std::string DnsHostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH * 4 + 1] = {};
  DWORD length = static_cast<DWORD>(std::size(name));
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &length) || length == 0) return {};
  return Utf8Text(std::wstring(name, length));
}

// The address literal of this end of a connection to the server: a datagram socket "connected"
// there sends nothing, yet the system picks the address it would leave from.
std::string LocalAddressLiteral(const std::string& host, std::uint16_t port) {
  WSADATA started{};
  if (::WSAStartup(MAKEWORD(2, 2), &started) != 0) return kLoopbackLiteral;
  std::string literal = kLoopbackLiteral;
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0 && found != nullptr) {
    const SOCKET probe = ::socket(found->ai_family, SOCK_DGRAM, 0);
    sockaddr_storage local{};
    int length = sizeof(local);
    if (probe != INVALID_SOCKET && ::connect(probe, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
      char text[INET6_ADDRSTRLEN] = {};
      void* address = local.ss_family == AF_INET6
                          ? static_cast<void*>(&reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr)
                          : static_cast<void*>(&reinterpret_cast<sockaddr_in*>(&local)->sin_addr);
      if (::inet_ntop(local.ss_family, address, text, sizeof(text)) != nullptr) literal = AddressLiteral(text);
    }
    if (probe != INVALID_SOCKET) ::closesocket(probe);
    ::freeaddrinfo(found);
  }
  ::WSACleanup();
  return literal;
}

}  // namespace

std::string GreetingName(const std::string& serverHost, std::uint16_t serverPort) {
  const std::string hostName = DnsHostName();
  std::string name = hostName.empty() ? std::string() : EhloName(hostName, "");
  return name.empty() ? LocalAddressLiteral(serverHost, serverPort) : name;
}

}  // namespace rur
