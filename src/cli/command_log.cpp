// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl log [FILE]: the day's event log of the data folder, or any log file.

#include "cli/command_table.h"
#include "monitor/event_log.h"
#include "monitor/log_viewer_model.h"
#include "platform/date_time_text.h"

namespace rur::cli {

int RunLog(CommandContext& context) {
  if (context.args.size() > 1) {
    context.err << "log: takes at most one file\n";
    return kExitUsage;
  }
  std::string path = context.args.empty() ? std::string() : context.args.front();
  if (path.empty()) path = EventLogWriter(context.env.dataDirectory()).DayFilePath(context.env.clock().localTime());
  std::string text, error;
  if (!LoadLogFileText(path, text, error)) {
    context.err << "log: " << error << '\n';
    return kExitFailed;
  }
  for (const auto& line : SplitLogLines(text)) context.out << line << '\n';
  return kExitOk;
}

}  // namespace rur::cli
