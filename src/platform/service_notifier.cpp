// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/service_notifier.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace rur {

ServiceNotifier ServiceNotifier::FromEnvironment() {
  const char* name = std::getenv("NOTIFY_SOCKET");
  return ServiceNotifier(name ? std::string(name) : std::string());
}

bool ServiceNotifier::Send(const std::string& state) const {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketName_.empty() || socketName_.size() >= sizeof address.sun_path) return false;
  if (socketName_.front() != '/' && socketName_.front() != '@') return false;
  std::memcpy(address.sun_path, socketName_.data(), socketName_.size());
  if (socketName_.front() == '@') address.sun_path[0] = '\0';  // an abstract socket has no file
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketName_.size() +
                                             (socketName_.front() == '/' ? 1 : 0));
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const ssize_t sent =
      ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), length);
  ::close(fd);
  return sent == static_cast<ssize_t>(state.size());
}

}  // namespace rur
