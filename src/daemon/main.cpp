// SPDX-License-Identifier: GPL-3.0-or-later
// rode-rurd.exe: rurctl monitor as a Windows service.
//   rode-rurd install [MONITOR OPTIONS]   registers the service, started with the system
//   rode-rurd uninstall                   stops and removes it
//   rode-rurd run [MONITOR OPTIONS]       the same in the console, until Ctrl+C
//   rode-rurd service [MONITOR OPTIONS]   what the service manager starts
// Under the service manager a stop request ends the run as SIGTERM ends `rurctl monitor`, and
// what the monitor prints goes to rode-rurd.log in the data folder, next to the day logs.
#include <csignal>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/rurctl.h"
#include "platform/program_paths.h"
#include "platform/windows_service.h"

namespace {

constexpr const char* kServiceName = "rode-rurd";
constexpr const char* kOutputFileName = "rode-rurd.log";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const rur::ServiceDefinition kService{kServiceName, "RODE RUR monitor",
                                      "Watches RODE RUR disk enclosures: day logs, alarms and metrics."};

std::string JoinedArguments(const std::vector<std::string>& arguments) {
  std::string text;
  for (const auto& argument : arguments) text += " \"" + argument + "\"";
  return text;
}

// The monitor's output file in the program's data folder; empty when there is none.
std::string OutputFilePath() {
  rur::ProgramFolders folders;
  std::string error;
  if (!rur::ChooseProgramFolders(rur::CurrentPathFacts(), false, "", folders, error) ||
      !rur::EnsureDirectory(folders.data, error))
    return {};
  return folders.data + "/" + kOutputFileName;
}

int RunMonitor(const std::vector<std::string>& options, std::ostream& out, std::ostream& err) {
  std::vector<std::string> arguments{"monitor"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return rur::cli::RunRurctl(arguments, out, err);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  const std::string command = all.empty() ? "service" : all.front();
  const std::vector<std::string> rest(all.empty() ? all.end() : all.begin() + 1, all.end());
  std::string error;
  if (command == "install") {
    if (!rur::InstallService(kService, rur::QuotedProgramPath() + " service" + JoinedArguments(rest), error)) {
      std::cerr << "rode-rurd: " << error << '\n';
      return kExitFailure;
    }
    std::cout << "The service " << kServiceName << " is registered and starts with the system.\n";
    return 0;
  }
  if (command == "uninstall") {
    if (!rur::UninstallService(kServiceName, error)) {
      std::cerr << "rode-rurd: " << error << '\n';
      return kExitFailure;
    }
    std::cout << "The service " << kServiceName << " is removed.\n";
    return 0;
  }
  if (command == "run") return RunMonitor(rest, std::cout, std::cerr);
  if (command != "service") {
    std::cerr << "rode-rurd: unknown command " << command << "; the commands: install, uninstall, run, service\n";
    return kExitUsage;
  }
  const auto serviceBody = [&rest] {
    std::ofstream output(OutputFilePath(), std::ios::app);
    std::ostream& out = output ? static_cast<std::ostream&>(output) : std::cout;
    out << "rode-rurd: the monitor starts" << std::endl;
    const int status = RunMonitor(rest, out, out);
    out << "rode-rurd: the monitor ended with exit status " << status << std::endl;
    return status;
  };
  // The monitor ends its run on SIGTERM; a stop request raises it on the manager's thread.
  const auto stop = [] { std::raise(SIGTERM); };
  switch (rur::RunUnderServiceManager(kServiceName, serviceBody, stop, error)) {
    case rur::ServiceRun::Ran: return 0;
    case rur::ServiceRun::NotStartedByServiceManager:
      std::cerr << "rode-rurd: the service command is for the service manager; rode-rurd run runs in the console\n";
      return kExitUsage;
    case rur::ServiceRun::Failed: break;
  }
  std::cerr << "rode-rurd: " << error << '\n';
  return kExitFailure;
}
