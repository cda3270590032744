// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_environment.h"

#include <iostream>

#include "cli/cli_ui.h"
#include "emulator/scenario.h"

namespace rur::cli {

std::unique_ptr<CliEnvironment> CliEnvironment::Create(const GlobalOptions& options, std::string& error) {
  std::unique_ptr<CliEnvironment> env(new CliEnvironment(options));
  env->ui_ = std::make_unique<CliUi>(std::cerr, options.verbose);
  ProgramOptions programOptions;
  programOptions.simulate = options.simulate;
  if (options.simulate && !sim::ResolveScenarioArgument(options.scenario, programOptions.scenarioPath, error))
    return nullptr;
  programOptions.simStateDir = options.simState;
  programOptions.dataDir = options.dataDir;
  programOptions.virtualTime = options.virtualTime;
  programOptions.traceFile = options.trace;
  programOptions.allDisks = options.allDisks;
  if (!env->program_.Open(programOptions, *env->ui_, error)) return nullptr;
  return env;
}

CliEnvironment::~CliEnvironment() {
  std::string ignored;
  program_.Close(ignored);
}

bool CliEnvironment::Finish(std::string& error) { return program_.Close(error); }

}  // namespace rur::cli
