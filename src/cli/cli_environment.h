#pragma once
// What a rurctl command works with, built once from the global options: the drives (the host's
// disks, or simulated enclosures), the clock, the user-interface sink, the data directory and the
// controller channel. Finish() ends the run and keeps the simulated enclosures' state.

#include <memory>
#include <string>

#include "cli/global_options.h"
#include "emulator/simulated_host.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "transport/controller_channel.h"
#include "transport/scsi_device.h"

namespace rur::cli {

class CliEnvironment {
 public:
  // Null with an error when the run cannot start (a malformed scenario, an unusable folder).
  static std::unique_ptr<CliEnvironment> Create(const GlobalOptions& options, std::string& error);
  ~CliEnvironment();

  DriveSource& drives() { return *drives_; }
  Clock& clock() { return *clock_; }
  Ui& ui() { return *ui_; }
  ControllerChannel& channel() { return *channel_; }
  const std::string& dataDirectory() const { return dataDirectory_; }
  const GlobalOptions& options() const { return options_; }
  // The simulated host, or null when the run works on the host's real disks.
  sim::SimulatedHost* simulator() { return simulator_; }

  // Saves the simulated enclosures' state when --sim-state asked for it.
  bool Finish(std::string& error);

 private:
  explicit CliEnvironment(GlobalOptions options) : options_(std::move(options)) {}

  GlobalOptions options_;
  std::unique_ptr<Clock> clock_;  // before the drives: a simulated host reads it until its end
  std::unique_ptr<Ui> ui_;
  std::unique_ptr<DriveSource> drives_;
  sim::SimulatedHost* simulator_ = nullptr;
  std::unique_ptr<ControllerChannel> channel_;
  std::string dataDirectory_;
};

// Resolves --simulate's value: an existing file, or the name of a bundled scenario.
std::string ScenarioPath(const std::string& value);

}  // namespace rur::cli
