#include "cli/cli_environment.h"

#include <filesystem>
#include <iostream>

#include "cli/cli_ui.h"


namespace rur::cli {
namespace {

constexpr const char* kDefaultScenario = "demo";

}  // namespace

std::string ScenarioPath(const std::string& value) {
  if (value.empty()) return sim::BundledScenarioPath(kDefaultScenario);
  std::error_code code;
  if (std::filesystem::exists(value, code)) return value;
  // A bare name ("striping") stands for a bundled scenario.
  if (value.find('/') == std::string::npos) {
    const std::string stem = std::filesystem::path(value).stem().string();
    const std::string bundled = sim::BundledScenarioPath(stem);
    if (std::filesystem::exists(bundled, code)) return bundled;
  }
  return value;
}

std::unique_ptr<CliEnvironment> CliEnvironment::Create(const GlobalOptions& options, std::string& error) {
  std::unique_ptr<CliEnvironment> env(new CliEnvironment(options));
  env->ui_ = std::make_unique<CliUi>(std::cerr, options.verbose);
  ProgramOptions programOptions;
  programOptions.simulate = options.simulate;
  if (options.simulate) programOptions.scenarioPath = ScenarioPath(options.scenario);
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
