// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl status [--json]: detection, one refresh, then what the status page shows for every
// enclosure. The exit status carries the arrays' health.

#include "cli/command_failure.h"
#include "cli/engine_session.h"
#include "cli/json_text.h"
#include "cli/running_upgrades.h"
#include "cli/service_client.h"
#include "cli/status_report.h"

namespace rur::cli {

namespace {

// The report and the exit status, the same whether the engine ran here or in the service.
int PrintStatus(std::vector<DeviceStatus>& devices, const std::vector<RunningUpgrade>& running, bool json,
                std::ostream& out) {
  if (json) {
    nlohmann::json list = StatusJson(devices);
    for (const RunningUpgrade& upgrade : running) list.push_back(RunningUpgradeJson(upgrade));
    out << JsonText(list, 2) << '\n';
  } else {
    out << StatusText(devices);
    for (const RunningUpgrade& upgrade : running) out << RunningUpgradeText(upgrade);
  }
  int status = kExitOk;
  for (const DeviceStatus& device : devices) {
    if (!device.current || device.health.failed) status |= kExitUnavailable;
    if (device.current && device.health.degraded) status |= kExitDegraded;
    // A flash being rewritten holds no whole firmware either, whoever rewrites it.
    if (!device.firmwareValid || device.upgrade.condition != UpgradeCondition::None) status |= kExitFirmware;
  }
  if (!running.empty()) status |= kExitFirmware;
  return status;
}

}  // namespace

int RunStatus(CommandContext& context) {
  if (!StartAndDetect(context, "status")) return kExitFailed;
  Engine& engine = context.env.engine();
  context.env.ui().note("status: reading the state of every enclosure");
  engine.RefreshNow();
  auto devices = CollectStatus(engine);
  for (DeviceStatus& device : devices) device.upgrade = context.env.program().UpgradeStatusOfDrive(device.drive);
  ReportDetectionProblems(context, "status");
  const std::vector<RunningUpgrade> running = RunningUpgrades(context.env.program());
  if (devices.empty() && running.empty()) return Fail(context, "status", "No Drive found!");
  const int status = PrintStatus(devices, running, context.options.json, context.out);
  // A device another process holds could not be read: the command did not do its whole job,
  // unless what holds it is an upgrade, which status has told.
  if (engine.busyDrives().size() > running.size()) return kExitFailed;
  return status;
}

int RunStatusThroughService(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<DeviceStatus> devices;
  std::string error;
  FetchServiceStatus(devices, error);
  if (devices.empty()) error = "No Drive found!";
  if (!error.empty()) {
    err << "status: " << error << '\n';
    if (options.json) out << JsonText(nlohmann::json{{"error", error}}, 2) << '\n';
    return kExitFailed;
  }
  return PrintStatus(devices, {}, options.json, out);
}

}  // namespace rur::cli
