// The refresh of the first two devices' status, run by the poll dispatcher every 5 s.

#include <cstdio>

#include "app/engine.h"
#include "monitor/query_answers.h"
#include "transport/commands.h"

namespace rur {
namespace {

// The members and rebuild answers may contradict each other for ever (a member "being rebuilt"
// while no rebuild runs); a few passes are plenty for a controller that is consistent.
constexpr unsigned kMaxQueryPasses = 4;
constexpr std::uint8_t kFailureLimit = 10;

std::string Hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

}  // namespace

void Engine::RefreshStep() {
  ++refreshCounter;
  const std::string c = Hex2(refreshCounter);
  ui.panel(3, "G = 2x, " + c);
  if (deviceChangeCounter != 0 || probeMark || ShouldGiveUp()) return;
  refreshInProgress = true;
  changedMask = 0;
  ui.panel(2, "SC = 1x" + Hex2(devices.currentCount) + c);

  for (unsigned slot = 0; slot < kRefreshedSlots; ++slot) {
    ui.panel(0, "0x," + c);
    if (slot >= devices.currentCount || !deviceChecked[slot] || (UpgradeRunning() && upgrade.UpgradeTarget.load() == slot)) continue;
    if (programStarted) {
      changedMask |= static_cast<std::uint8_t>(1u << slot);
      continue;
    }
    bool gaveUp = false;
    const bool refreshed = RefreshSlot(slot, gaveUp);
    if (gaveUp) {
      refreshInProgress = false;
      return;
    }
    DevicePosition& info = devices.currentInfo[slot];
    if (refreshed) {
      changedMask |= static_cast<std::uint8_t>(1u << slot);
      info.failureCounter = 0;
    }
  }

  ui.panel(0, "3x," + c);
  WriteCycleLog(changedMask);
  ui.panel(0, "4x," + c);
  if (changedMask != 0 && currentPage == kPageStatus) {
    RedrawStatusPage(programStarted);
    ui.panel(0, "5x," + c);
  }
  refreshInProgress = false;
}

// Queries one device; false when a query failed (or the device sits out this cycle).
bool Engine::RefreshSlot(unsigned slot, bool& gaveUp) {
  const std::string c = Hex2(refreshCounter);
  devices.active = slot;
  const unsigned drive = DriveOf(devices.current[slot]);
  StatusRecord& record = records[drive];
  DevicePosition& info = devices.currentInfo[slot];
  ui.panel(0, "1x," + c);
  if (info.failureCounter & 1u) {
    // A failing device is asked only every other cycle.
    ++info.failureCounter;
    return false;
  }

  Sector answer{};
  bool ok = true;
  if (info.hasSensor) {
    ui.panel(0, "1y," + c);
    clock.sleepMs(kQueryGapMs);
    ok = channel.Query(drive, QUERY_IDENTITY, answer) == kResultOk;
    if (ok) CopySensorReadings(answer.data(), record);
    if (ShouldGiveUp()) return gaveUp = true, false;
  }

  ui.panel(0, "2x," + c);
  const bool blockAIsHdd1 =
      (previousIdentity[drive][identify_offset::kMemberOrder] & kMemberOrderBit) != 0;
  for (unsigned pass = 0; ok && pass < kMaxQueryPasses; ++pass) {
    const std::string r = Hex2(pass);
    ui.panel(0, r + ",yy," + c);
    if (info.rebuildRunning) {
      ui.panel(1, "y0," + r);
      clock.sleepMs(kQueryGapMs);
      ok = channel.Query(drive, QUERY_REBUILD, answer) == kResultOk;
      ui.panel(1, "y1," + r);
      if (ShouldGiveUp()) return gaveUp = true, false;
      if (!ok) break;
      if (const auto progress = RebuildProgress(answer)) {
        record[status_offset::kActivityProgress] = *progress;
        break;
      }
      info.rebuildRunning = false;
    }
    ui.panel(1, "y2," + r);
    clock.sleepMs(kQueryGapMs);
    ok = channel.Query(drive, QUERY_MEMBERS, answer) == kResultOk;
    ui.panel(1, "y3," + r);
    if (ShouldGiveUp()) return gaveUp = true, false;
    if (!ok) break;
    DecodeMembersAnswer(answer, blockAIsHdd1, RecordFill::Refresh, true, record);
    ui.panel(0, r + ",yz," + c);
    if (record[status_offset::kActivityFlags] == 0) break;
    info.rebuildRunning = true;
  }

  if (!ok) {
    if (++info.failureCounter > kFailureLimit) {
      // Six failures in a row take the device out of the refresh until the user ticks it again.
      deviceChecked[slot] = false;
      info.failureCounter = 0;
      ui.update(UiUpdate::DeviceControls);
    }
    return false;
  }
  return true;
}

}  // namespace rur
