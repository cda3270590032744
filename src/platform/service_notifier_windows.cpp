// SPDX-License-Identifier: GPL-3.0-or-later
// Windows has no notify socket: a service tells the service control manager how it is doing
// through its status handle instead (windows_service.h), so this notifier is never active.
#include "platform/service_notifier.h"

namespace rur {

ServiceNotifier ServiceNotifier::FromEnvironment() { return ServiceNotifier(std::string()); }

bool ServiceNotifier::Send(const std::string&) const { return false; }

}  // namespace rur
