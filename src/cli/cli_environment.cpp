#include "cli/cli_environment.h"

#include <filesystem>
#include <iostream>

#include "platform/host_drives.h"
#include "platform/program_paths.h"

namespace rur::cli {
namespace {

constexpr const char* kDefaultScenario = "demo";

// Shows what the window would show, for --verbose.
class ConsoleUi final : public Ui {
 public:
  void panel(int index, const std::string& text) override { std::cerr << "[panel " << index << "] " << text << '\n'; }
  void messageBox(const std::string& text, const std::string& caption, MessageKind) override {
    std::cerr << "[" << (caption.empty() ? std::string("message") : caption) << "] " << text << '\n';
  }
};

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

  sim::Scenario scenario;
  if (options.simulate && !sim::LoadScenarioFile(ScenarioPath(options.scenario), scenario, error)) return nullptr;

  if (options.virtualTime) {
    const LocalDateTime start = scenario.start.value_or(RealClock().localTime());
    env->clock_ = std::make_unique<VirtualClock>(start);
  } else {
    env->clock_ = std::make_unique<RealClock>();
  }
  env->ui_ = options.verbose ? std::unique_ptr<Ui>(new ConsoleUi) : std::make_unique<Ui>();

  if (options.simulate) {
    auto host = std::make_unique<sim::SimulatedHost>(std::move(scenario), *env->clock_);
    if (!options.simState.empty() && !host->loadState(options.simState, error)) return nullptr;
    if (!options.trace.empty() && !host->setTraceFile(options.trace)) {
      error = "cannot open the trace file " + options.trace;
      return nullptr;
    }
    env->simulator_ = host.get();
    env->drives_ = std::move(host);
  } else {
    env->drives_ = std::make_unique<HostDriveSource>();
  }

  env->dataDirectory_ = ChooseDataDirectory(CurrentPathFacts(), options.simulate, options.dataDir, DirectoryWritable);
  if (!EnsureDirectory(env->dataDirectory_, error)) return nullptr;

  env->channel_ = std::make_unique<ControllerChannel>(*env->drives_, *env->clock_, *env->ui_);
  return env;
}

CliEnvironment::~CliEnvironment() {
  channel_.reset();
  drives_.reset();  // the simulated host goes before the clock it reads
}

bool CliEnvironment::Finish(std::string& error) {
  if (simulator_ == nullptr || options_.simState.empty()) return true;
  return simulator_->saveState(options_.simState, error);
}

}  // namespace rur::cli
