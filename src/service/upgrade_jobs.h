// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Firmware upgrades and backups for the service's callers. UpgradeFirmware only checks the image
// against the device, BackupFirmware only its arguments, and each answers with a job object; the
// work itself runs once the call has returned, so no call waits for an erase or a whole flash
// read. While a job runs the bus is still served from the engine's waits (the job's progress, the
// properties), the signals that would end the service are held, and every method that would reach
// a controller answers Busy.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "app/program.h"
#include "service/rode_rur1_adaptor.h"
#include "service/service_ui.h"

namespace rur::service {

class JobObject final : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Job_adaptor> {
 public:
  JobObject(sdbus::IConnection& connection, std::string path, std::string operation);
  ~JobObject();

  // Signals the properties that changed.
  void Show(const std::string& step, uint32_t percent);
  void Complete(bool ok, const std::string& message);

 private:
  std::string Operation() override { return operation_; }
  std::string Step() override { return step_; }
  uint32_t Percent() override { return percent_; }

  std::string operation_;
  std::string step_ = "waiting";
  uint32_t percent_ = 0;
};

class UpgradeJobs {
 public:
  UpgradeJobs(sdbus::IConnection& connection, Program& program, ServiceUi& ui);

  // Picks the device at `position`, loads the image from `fd` and checks it; the new job's path, or
  // an sdbus::Error with what stands in the way.
  sdbus::ObjectPath Start(unsigned position, int fd, bool force);
  // Asks for the first `length` bytes of the flash of the device at `position` to be written to
  // `fd` (kept open until then); the new job's path, or Error.Busy while another job waits or runs.
  sdbus::ObjectPath StartBackup(unsigned position, const sdbus::UnixFd& fd, std::uint32_t length);
  // Whether a job waits or runs: the controllers are not to be reached meanwhile.
  bool Busy() const;
  // Error.Busy naming the job that holds the controllers.
  sdbus::Error BusyError() const;
  // Runs the job asked for, if any; the last signal held meanwhile (0 when none came), for the
  // service to answer once the flash is safe.
  int RunPending();

 private:
  JobObject& AddJob(const char* operation);
  void ShowProgress();
  // The outcome of the upgrade or the backup asked for, and what to tell its caller.
  std::pair<bool, std::string> RunUpgrade();
  std::pair<bool, std::string> RunBackup();

  sdbus::IConnection& connection_;
  Program& program_;
  ServiceUi& ui_;
  // Every job stays on the bus, so a client that looks late still learns how it ended.
  std::vector<std::unique_ptr<JobObject>> jobs_;
  JobObject* pending_ = nullptr;
  JobObject* running_ = nullptr;
  std::string device_;  // "Device1 (drive 2)" of the job asked for
  // Of a backup asked for: where its bytes go and how many (0 for an upgrade).
  unsigned backupPosition_ = 0;
  sdbus::UnixFd backupFd_;
  std::uint32_t backupLength_ = 0;
};

}  // namespace rur::service
