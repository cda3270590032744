// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program as a Windows service: registered with and removed from the service control manager,
// and run under it, where a stop request ends the run as SIGTERM does on Linux. Only the Windows
// build has this.

#include <functional>
#include <string>

namespace rur {

struct ServiceDefinition {
  std::string name;         // the key under Services, "rode-rurd"
  std::string displayName;  // as the Services console lists it
  std::string description;
};

// Registers the service to start with the system, running `commandLine`.
bool InstallService(const ServiceDefinition& service, const std::string& commandLine, std::string& error);
// Removes it (a running service goes once it has stopped).
bool UninstallService(const std::string& name, std::string& error);

enum class ServiceRun { Ran, NotStartedByServiceManager, Failed };
// Hands the process to the service control manager, which calls `body` on a thread of its own;
// `stop` is called when the manager asks the service to stop, and the run's exit status from
// `body` is reported when it returns.
ServiceRun RunUnderServiceManager(const std::string& name, const std::function<int()>& body,
                                  const std::function<void()>& stop, std::string& error);

// The path of this program, quoted for a command line.
std::string QuotedProgramPath();

}  // namespace rur
