// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl firmware-backup as a client of rode-rurd: rurctl opens the file with the user's own
// rights and hands the service the descriptor, so the service never writes where the user could
// not. The bytes go to a file beside the target, renamed over it once complete, so a refused or
// failed backup leaves no half-written file.

#include "cli/command_table.h"
#include "cli/service_client.h"

#if RUR_SERVICE_CLIENT
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace rur::cli {

#if RUR_SERVICE_CLIENT

int RunFirmwareBackupThroughService(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  const std::string& target = options.words.front();
  const bool toStandardOutput = target == "-";
  const unsigned device = options.device == 0 ? 1 : options.device;
  const auto length = static_cast<std::uint32_t>(options.length);
  const std::string partial = target + ".part";
  int fd = STDOUT_FILENO;
  if (!toStandardOutput) {
    fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      err << "firmware-backup: cannot create " << partial << ": " << std::strerror(errno) << '\n';
      return kExitFailed;
    }
  } else {
    out.flush();
  }
  std::string error;
  unsigned drive = 0;
  const ServiceAnswer answer = BackupFirmwareThroughService(device, fd, length, drive, error);
  bool saved = answer == ServiceAnswer::Done;
  if (!toStandardOutput) {
    saved = saved && ::fsync(fd) == 0;
    saved = ::close(fd) == 0 && saved;
    if (saved && std::rename(partial.c_str(), target.c_str()) != 0) {
      error = "cannot rename " + partial + " to " + target + ": " + std::strerror(errno);
      saved = false;
    }
    if (!saved) std::remove(partial.c_str());
  }
  if (!saved) {
    err << "firmware-backup: " << (error.empty() ? "the backup could not be saved" : error) << '\n';
    return kExitFailed;
  }
  (toStandardOutput ? err : out) << (toStandardOutput ? std::string("standard output") : target) << ": " << length
                                 << " bytes of the flash of Device" << device << " (drive " << drive << ")\n";
  return kExitOk;
}

#else

// Without the system bus there is no service to ask (ServiceRuns is false).
int RunFirmwareBackupThroughService(const CommandOptions&, std::ostream&, std::ostream& err) {
  err << "firmware-backup: this rurctl was built without the system bus\n";
  return kExitFailed;
}

#endif

}  // namespace rur::cli
