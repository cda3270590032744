// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl as a client of rode-rurd: where the service owns org.roderur.RodeRur1 on the system bus,
// it owns the enclosures too, and rurctl asks it rather than reaching the controllers itself.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_options.h"
#include "cli/status_report.h"

namespace rur::cli {

// Whether rode-rurd serves this host now (false where the program was built without the bus).
bool ServiceRuns();

// The service's enclosures as the status report gathers them in-process; false with a message
// when the service cannot be asked.
bool FetchServiceStatus(std::vector<DeviceStatus>& devices, std::string& error);

// What the service answered a request that changes or reads a controller.
enum class ServiceAnswer { Done, NotAuthorized, Failed };

// Has the service write the first `length` bytes of the flash of Device<device> to `fd` and waits
// for its job to end, however long the read takes; tells which drive that is; the service's message in `error`
// otherwise.
ServiceAnswer BackupFirmwareThroughService(unsigned device, int fd, std::uint32_t length, unsigned& drive,
                                           std::string& error);

// Runs `command` as a client of the service where it can (`handled`); where it cannot with these
// options (a drive named by --drive, a dry run of an upgrade, a log file named), `handled`
// is false and the command runs in-process.
int RunThroughService(std::string_view command, const CommandOptions& options, std::ostream& out, std::ostream& err,
                      bool& handled);

}  // namespace rur::cli
