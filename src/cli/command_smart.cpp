// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl smart [--device N | --drive D] [--bay 1|2] [--json]: a threshold and a data pass through
// the controller, then the graded grid of one bay as the SMART page shows it. The exit status
// carries the verdict; a bay whose pages could not be read is a failure, not an empty grid.

#include "cli/command_failure.h"
#include "cli/engine_session.h"
#include "cli/json_text.h"
#include "cli/smart_report.h"
#include "monitor/array_health.h"
#include "monitor/member_disk.h"

namespace rur::cli {

int RunSmart(CommandContext& context) {
  if (const int status = ProbeNamedDrive(context, "smart"); status != kExitOk) return status;
  if (!StartAndDetect(context, "smart")) return kExitFailed;
  unsigned position = 0;
  if (const int status = DevicePosition(context, "smart", 1, position); status != kExitOk) return status;

  Engine& engine = context.env.engine();
  const unsigned bay = context.options.bay;
  context.env.ui().note("smart: reading the SMART thresholds and data of every member disk");
  engine.ReadSmartNow();
  engine.SelectDevice(position);  // the heading takes the model as the status page shows it
  engine.SelectSmartBay(bay - 1);
  const std::string bayName = "HDD" + std::to_string(bay);
  if (!engine.smart().state().store[position][bay - 1].dataRead) {
    const MemberStatus* member = engine.enclosure(position)->status.member(bay - 1);
    const bool holdsDisk = member != nullptr && member->holdsDisk();
    return Fail(context, "smart",
                DeviceLabel(engine, position) + ": " +
                    (holdsDisk ? "the SMART data of " + bayName + " could not be read" : bayName + " holds no disk"));
  }
  const SmartPageModel& page = engine.smart().page();
  if (context.options.json) {
    context.out << JsonText(SmartJson(page, position + 1, bay), 2) << '\n';
  } else {
    context.out << DeviceLabel(engine, position) << "\n" << SmartText(page);
  }
  if (!engine.smart().state().thresholdsValid) context.err << "smart: some threshold pages could not be read\n";
  const ArrayHealth health = ArrayHealthOf(engine.enclosure(position)->status);
  int status = (health.failed ? kExitUnavailable : 0) | (health.degraded ? kExitDegraded : 0);
  if (page.verdict == " Error ") status |= kExitSmartError;
  if (page.verdict == " Warning ") status |= kExitSmartWarning;
  return status;
}

}  // namespace rur::cli
