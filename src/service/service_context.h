// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the service's bus objects share: the connection (bus thread only), the engine's thread and
// its snapshots, the mailbox back to the bus thread, polkit, and the jobs. A method that needs the
// engine posts its work there and answers its caller later, from the bus thread, through a kept
// reply.

#include <memory>
#include <string>
#include <utility>

#include <sdbus-c++/sdbus-c++.h>

#include "service/authorization.h"
#include "service/bus_mailbox.h"
#include "service/engine_thread.h"
#include "service/service_errors.h"
#include "service/service_ui.h"

namespace rur::service {

class UpgradeJobs;

struct ServiceContext {
  sdbus::IConnection& connection;
  EngineThread& engine;
  BusMailbox& bus;
  Authority& authority;
  ServiceUi& ui;  // the engine thread's sink
  std::string mailFolder;
  UpgradeJobs* jobs = nullptr;
};

// A reply kept for later: the call's Result can only be moved, work travels between threads as
// copies.
template <typename... Results>
using KeptReply = std::shared_ptr<sdbus::Result<Results...>>;

template <typename... Results>
KeptReply<Results...> Keep(sdbus::Result<Results...>&& result) {
  return std::make_shared<sdbus::Result<Results...>>(std::move(result));
}

// A failure to answer with: its error name and message.
struct Failure {
  const char* name = kErrorFailed;
  std::string message;
};

}  // namespace rur::service
