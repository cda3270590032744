// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells the service manager how a service is doing: "READY=1" once it does its job, "STATUS=..."
// for `systemctl status`, "STOPPING=1" on the way out. The messages go as datagrams to the socket
// systemd names in $NOTIFY_SOCKET; without it (not started as a Type=notify service) nothing is
// sent. The protocol is one datagram of text, so it is spoken here rather than through libsystemd.

#include <string>

namespace rur {

class ServiceNotifier {
 public:
  // The socket of $NOTIFY_SOCKET: a path, or "@name" for an abstract socket.
  static ServiceNotifier FromEnvironment();
  explicit ServiceNotifier(std::string socketName) : socketName_(std::move(socketName)) {}

  bool active() const { return !socketName_.empty(); }
  // Sends the lines of state ("READY=1\nSTATUS=..."); false when there is no socket or it failed.
  bool Send(const std::string& state) const;

 private:
  std::string socketName_;
};

}  // namespace rur
