// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Firmware upgrades for the service's callers. UpgradeFirmware only checks the image against the
// device and answers with a job object; the upgrade itself runs once the call has returned, so no
// call waits for an erase. While it runs the bus is still served from the engine's waits (the
// job's progress, the properties), the signals that would end the service are held, and every
// method that would reach a controller answers Busy.

#include <memory>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "app/program.h"
#include "service/rode_rur1_adaptor.h"
#include "service/service_ui.h"

namespace rur::service {

class JobObject final : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Job_adaptor> {
 public:
  JobObject(sdbus::IConnection& connection, std::string path);
  ~JobObject();

  // Signals the properties that changed.
  void Show(const std::string& step, uint32_t percent);
  void Complete(bool ok, const std::string& message);

 private:
  std::string Operation() override { return "upgrade-firmware"; }
  std::string Step() override { return step_; }
  uint32_t Percent() override { return percent_; }

  std::string step_ = "waiting";
  uint32_t percent_ = 0;
};

class UpgradeJobs {
 public:
  UpgradeJobs(sdbus::IConnection& connection, Program& program, ServiceUi& ui);

  // Picks the device at `position`, loads the image from `fd` and checks it; the new job's path, or
  // an sdbus::Error with what stands in the way.
  sdbus::ObjectPath Start(unsigned position, int fd, bool force);
  // Whether an upgrade waits or runs: the controllers are not to be reached meanwhile.
  bool Busy() const;
  // Runs the upgrade asked for, if any; the last signal held meanwhile (0 when none came), for
  // the service to answer once the flash is safe.
  int RunPending();

 private:
  void ShowProgress();

  sdbus::IConnection& connection_;
  Program& program_;
  ServiceUi& ui_;
  // Every job stays on the bus, so a client that looks late still learns how it ended.
  std::vector<std::unique_ptr<JobObject>> jobs_;
  JobObject* pending_ = nullptr;
  JobObject* running_ = nullptr;
  std::string device_;  // "Device1 (drive 2)" of the job asked for
};

}  // namespace rur::service
