// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a rurctl command works with, built once from the global options: the program (clock,
// drives of the host or simulated enclosures, data directory, engine, event log, mail) and the
// user-interface sink that stands in for the window. Finish() ends the run and keeps the
// simulated enclosures' state.

#include <memory>
#include <string>

#include "app/program.h"
#include "cli/cli_ui.h"
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

  Program& program() { return program_; }
  Engine& engine() { return program_.engine(); }
  Clock& clock() { return program_.clock(); }
  CliUi& ui() { return *ui_; }
  const std::string& dataDirectory() const { return program_.dataDirectory(); }
  const GlobalOptions& options() const { return options_; }
  // The simulated host, or null when the run works on the host's real disks.
  sim::SimulatedHost* simulator() { return program_.simulator(); }

  // Saves the simulated enclosures' state when --sim-state asked for it.
  bool Finish(std::string& error);

 private:
  explicit CliEnvironment(GlobalOptions options) : options_(std::move(options)) {}

  GlobalOptions options_;
  std::unique_ptr<CliUi> ui_;  // before the program: the engine reports to it until its end
  Program program_;
};

}  // namespace rur::cli
