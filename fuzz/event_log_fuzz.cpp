// SPDX-License-Identifier: GPL-3.0-or-later
// Day log files lie beside the program where anyone may edit or damage them, and the program reads
// them back: the writer before it appends the cycle's lines, the viewer when it shows a file. The
// input is such a file. Whatever it holds, its lines must survive the next append unchanged, and
// the live view must follow the log without reading past its end.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "monitor/event_log.h"
#include "monitor/log_viewer_model.h"

namespace {

using namespace rur;

StatusRecord MemberPulledRecord() {
  StatusRecord record{};
  record[status_offset::kFilledMark] = kRecordFilled;
  record[status_offset::kDriveFlags] = kHdd1Present | kHdd2Absent;
  record[status_offset::kHdd2StateCode] = 0x05;
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitLogLines(file);
  if (SplitLogLines(JoinLogLines(lines)) != lines) std::abort();

  // The writer finds this file as today's log and appends a member-removed event to it.
  EventLogWriter writer("/nonexistent");
  std::string saved;
  writer.setFileFunctions(
      [&saved](const std::string&, const std::string& contents, std::string&) {
        saved = contents;
        return true;
      },
      [&file](const std::string&, std::string& contents) {
        contents = file;
        return rur::FileReadStatus::Ok;
      });
  IdentifyBlock identity{};
  StatusRecord healthy{};
  healthy[status_offset::kDriveFlags] = kBothPresent;
  const StatusRecord pulled = MemberPulledRecord();
  const LocalDateTime now{2026, 3, 14, 9, 0, 5};
  writer.WriteEventLog(1, {{&identity, &healthy}}, now, true);
  writer.WriteEventLog(1, {{&identity, &pulled}}, now, false);
  const std::vector<std::string> after = SplitLogLines(saved);
  if (after.size() < lines.size() + 1) std::abort();
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (after[i] != lines[i]) std::abort();

  // The live view, as it follows a log that grows and then starts over with this file.
  LogFollower follower;
  follower.Fill(writer.lines());
  LogViewStep step = follower.Follow(lines);
  if (follower.shownLineCount() != lines.size()) std::abort();
  step = follower.Follow(after);
  if (!step.refill && step.lines.size() != after.size() - lines.size()) std::abort();
  return 0;
}
