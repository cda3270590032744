// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl log [FILE] [--json]: the day's event log of the data folder, or any log file.

#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/json_text.h"
#include "monitor/event_log.h"
#include "monitor/log_viewer_model.h"
#include "platform/date_time_text.h"

namespace rur::cli {

int RunLog(CommandContext& context) {
  const auto& words = context.options.words;
  std::string path = words.empty() ? std::string() : words.front();
  if (path.empty()) path = EventLogWriter(context.env.dataDirectory()).DayFilePath(context.env.clock().localTime());
  std::string text, error;
  if (!LoadLogFileText(path, text, error)) return Fail(context, "log", error);
  const std::vector<std::string> lines = SplitLogLines(text);
  if (context.options.json) {
    context.out << JsonText(nlohmann::json{{"file", path}, {"lines", lines}}, 2) << '\n';
    return kExitOk;
  }
  for (const auto& line : lines) context.out << line << '\n';
  return kExitOk;
}

}  // namespace rur::cli
