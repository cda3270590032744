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

EnclosureRefreshRun::EnclosureRefreshRun(EnclosureRefresh& target, StatusRecord& record, std::uint64_t startMs)
    : target_(target),
      record_(record),
      stage_(target.hasSensor        ? Stage::Sensors
             : target.rebuildRunning ? Stage::Rebuild
                                     : Stage::Members),
      dueMs_(startMs + kQueryGapMs) {
  target_.failure.clear();
}

void EnclosureRefreshRun::Finish(bool ok) {
  ok_ = ok;
  stage_ = Stage::Done;
}

void EnclosureRefreshRun::Step(ControllerChannel& channel, Clock& clock, Ui& ui, const std::string& c) {
  Sector answer{};
  const auto ask = [&](std::uint8_t query) {
    const ResultCode result = channel.Query(target_.drive, query, answer);
    if (result == kResultOk) return true;
    target_.failure = QueryFailureText(query, result);
    busy_ = channel.record().lastResult == kResultControllerBusy;
    if (busy_) target_.busyHolder = channel.record().busyHolder;
    return false;
  };
  const std::string r = Hex2(pass_);
  switch (stage_) {
    case Stage::Sensors:
      ui.panel(0, "1y," + c);
      if (!ask(QUERY_IDENTITY)) return Finish(false);
      CopySensorReadings(answer.data(), record_);
      ui.panel(0, "2x," + c);
      stage_ = target_.rebuildRunning ? Stage::Rebuild : Stage::Members;
      break;
    case Stage::Rebuild:
      ui.panel(1, "y0," + r);
      if (!ask(QUERY_REBUILD)) return Finish(false);
      ui.panel(1, "y1," + r);
      if (const auto progress = RebuildProgress(answer)) {
        record_[status_offset::kActivityProgress] = *progress;
        // The members are read during a rebuild too: the other disk is its only source, and a pull
        // or failure of it must not wait for the rebuild's end.
        rebuildSeen_ = true;
      } else {
        target_.rebuildRunning = false;
      }
      stage_ = Stage::Members;
      break;
    case Stage::Members:
      ui.panel(1, "y2," + r);
      if (!ask(QUERY_MEMBERS)) return Finish(false);
      ui.panel(1, "y3," + r);
      DecodeMembersAnswer(answer, target_.blockAIsHdd1, RecordFill::Refresh, true, record_);
      ui.panel(0, r + ",yz," + c);
      // A rebuild whose progress was just read has its members now; one that ended shows none.
      if (record_[status_offset::kActivityFlags] == 0 || rebuildSeen_ || ++pass_ >= kMaxQueryPasses)
        return Finish(true);
      target_.rebuildRunning = true;
      stage_ = Stage::Rebuild;
      break;
    case Stage::Done: return;
  }
  dueMs_ = clock.nowMs() + kQueryGapMs;
}

RefreshOutcome EnclosureRefreshRun::outcome() const {
  if (ok_) return RefreshOutcome::Refreshed;
  return busy_ ? RefreshOutcome::Busy : RefreshOutcome::Failed;
}

bool RefreshSideBySide(ControllerChannel& channel, Clock& clock, Ui& ui, const std::string& cycleText,
                       std::vector<EnclosureRefresh*> targets, std::vector<StatusRecord*> records,
                       const std::function<bool()>& shouldGiveUp, std::vector<RefreshOutcome>& outcomes) {
  std::vector<EnclosureRefreshRun> runs;
  runs.reserve(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) runs.emplace_back(*targets[i], *records[i], clock.nowMs());
  for (;;) {
    EnclosureRefreshRun* next = nullptr;
    for (EnclosureRefreshRun& run : runs)
      if (!run.done() && (next == nullptr || run.dueMs() < next->dueMs())) next = &run;
    if (next == nullptr) break;
    const std::uint64_t now = clock.nowMs();
    if (next->dueMs() > now) clock.sleepMs(next->dueMs() - now);
    next->Step(channel, clock, ui, cycleText);
    if (shouldGiveUp()) return false;
  }
  outcomes.clear();
  for (const EnclosureRefreshRun& run : runs) outcomes.push_back(run.outcome());
  return true;
}

}  // namespace rur
