// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/refresh_enclosure.h"

#include <cstdio>
#include <string>

#include "monitor/query_answers.h"
#include "transport/commands.h"

namespace rur {
namespace {

// The members and rebuild answers may contradict each other for ever (a member "being rebuilt"
// while no rebuild runs); a few passes are plenty for a controller that is consistent.
constexpr unsigned kMaxQueryPasses = 4;

const char* QueryName(std::uint8_t query) {
  switch (query) {
    case QUERY_IDENTITY: return "identity";
    case QUERY_REBUILD: return "rebuild";
    case QUERY_MEMBERS: return "members";
    default: return "status";
  }
}

const char* ResultMeaning(std::uint8_t result) {
  switch (result) {
    case kResultOpenFailed: return "the drive cannot be opened";
    case kResultSequenceReadFailed: return "a read of the command failed";
    case kResultResponseReadFailed: return "the answer could not be read";
    case kResultNoAnswer: return "no answer";
    case kResultUnknownStatus: return "unknown status";
    default: return "refused by the controller";
  }
}

}  // namespace

std::string QueryFailureText(std::uint8_t query, std::uint8_t result) {
  return std::string("the ") + QueryName(query) + " query failed (result " + Hex2(result) + ", " +
         ResultMeaning(result) + ")";
}

std::string Hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

RefreshOutcome RefreshEnclosure(ControllerChannel& channel, Clock& clock, Ui& ui, const std::string& c,
                                EnclosureRefresh& target, StatusRecord& record,
                                const std::function<bool()>& shouldGiveUp) {
  const unsigned drive = target.drive;
  Sector answer{};
  bool ok = true;
  target.failure.clear();
  // Sends one query; a failure is remembered with its query and result.
  const auto ask = [&](std::uint8_t query) {
    const ResultCode result = channel.Query(drive, query, answer);
    if (result != kResultOk) target.failure = QueryFailureText(query, result);
    return result == kResultOk;
  };
  if (target.hasSensor) {
    ui.panel(0, "1y," + c);
    clock.sleepMs(kQueryGapMs);
    ok = ask(QUERY_IDENTITY);
    if (ok) CopySensorReadings(answer.data(), record);
    if (shouldGiveUp()) return RefreshOutcome::GaveUp;
  }

  ui.panel(0, "2x," + c);
  for (unsigned pass = 0; ok && pass < kMaxQueryPasses; ++pass) {
    const std::string r = Hex2(pass);
    ui.panel(0, r + ",yy," + c);
    if (target.rebuildRunning) {
      ui.panel(1, "y0," + r);
      clock.sleepMs(kQueryGapMs);
      ok = ask(QUERY_REBUILD);
      ui.panel(1, "y1," + r);
      if (shouldGiveUp()) return RefreshOutcome::GaveUp;
      if (!ok) break;
      if (const auto progress = RebuildProgress(answer)) {
        record[status_offset::kActivityProgress] = *progress;
        break;
      }
      target.rebuildRunning = false;
    }
    ui.panel(1, "y2," + r);
    clock.sleepMs(kQueryGapMs);
    ok = ask(QUERY_MEMBERS);
    ui.panel(1, "y3," + r);
    if (shouldGiveUp()) return RefreshOutcome::GaveUp;
    if (!ok) break;
    DecodeMembersAnswer(answer, target.blockAIsHdd1, RecordFill::Refresh, true, record);
    ui.panel(0, r + ",yz," + c);
    if (record[status_offset::kActivityFlags] == 0) break;
    target.rebuildRunning = true;
  }
  if (!ok && channel.record().lastResult == kResultControllerBusy) return RefreshOutcome::Busy;
  return ok ? RefreshOutcome::Refreshed : RefreshOutcome::Failed;
}

}  // namespace rur
