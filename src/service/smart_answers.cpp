// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/smart_answers.h"

#include <ctime>
#include <vector>

#include "cli/engine_session.h"
#include "cli/smart_report.h"
#include "monitor/member_disk.h"
#include "service/service_errors.h"
#include "service/service_snapshot.h"

namespace rur::service {
namespace {

// A read younger than this is answered from; none is made sooner after the last.
constexpr std::uint64_t kSmartFreshMs = 60000;

// The last read of the pages (they are read for every enclosure at once), on the program's clock
// and as wall time; engine thread only.
struct LastRead {
  bool made = false;
  std::uint64_t atMs = 0;
  std::int64_t wallSeconds = 0;
};
LastRead lastRead;

}  // namespace

SmartAnswer AnswerSmart(Program& program, const std::string& key, std::uint32_t bay, bool mayRead) {
  SmartAnswer answer;
  Engine& engine = program.engine();
  const std::optional<unsigned> position = PositionOfKey(engine, key);
  if (!position) {
    answer.errorName = kErrorNoSuchEnclosure;
    answer.error = "the enclosure " + key + " is no longer there; list the enclosures again";
    return answer;
  }
  const std::uint64_t now = program.clock().nowMs();
  const bool stale = !lastRead.made || now >= lastRead.atMs + kSmartFreshMs;
  if (stale && mayRead && !engine.UpgradeRunning()) {
    engine.ReadSmartNow();
    lastRead = LastRead{true, now, static_cast<std::int64_t>(std::time(nullptr))};
  }
  engine.SelectDevice(*position);  // the heading takes the model as the status page shows it
  engine.SelectSmartBay(bay - 1);
  answer.device = *position + 1;
  answer.bay = bay;
  answer.label = cli::DeviceLabel(engine, *position);
  const std::string bayName = "HDD" + std::to_string(bay);
  if (!engine.smart().state().store[*position][bay - 1].dataRead) {
    const MemberStatus* disk = engine.enclosure(*position)->status.member(bay - 1);
    const bool holdsDisk = disk != nullptr && disk->holdsDisk();
    answer.errorName = kErrorFailed;
    answer.error = answer.label + ": " +
                   (holdsDisk ? "the SMART data of " + bayName + " could not be read" : bayName + " holds no disk");
    return answer;
  }
  answer.page = engine.smart().page();
  answer.thresholdsValid = engine.smart().state().thresholdsValid;
  answer.readAt = lastRead.wallSeconds;
  return answer;
}

std::map<std::string, sdbus::Variant> SmartDictionary(const SmartAnswer& answer) {
  const SmartPageModel& page = answer.page;
  std::vector<std::map<std::string, sdbus::Variant>> rows;
  for (std::size_t r = 0; r < page.rowCount && r < page.rows.size(); ++r) {
    const SmartRow& row = page.rows[r];
    rows.push_back({{"id", sdbus::Variant(row.attribute.id)},
                    {"name", sdbus::Variant(row.cells[kColumnName])},
                    {"value", sdbus::Variant(row.attribute.current)},
                    {"worst", sdbus::Variant(row.attribute.worst)},
                    {"threshold", sdbus::Variant(row.attribute.threshold)},
                    {"value_text", sdbus::Variant(row.cells[kColumnCurrent])},
                    {"worst_text", sdbus::Variant(row.cells[kColumnWorst])},
                    {"threshold_text", sdbus::Variant(row.cells[kColumnThreshold])},
                    {"raw", sdbus::Variant(row.cells[kColumnRaw])},
                    {"status", sdbus::Variant(row.cells[kColumnStatus])},
                    {"colour", sdbus::Variant(RgbText(row.colour))}});
  }
  return {{"device", sdbus::Variant(answer.device)},
          {"bay", sdbus::Variant(answer.bay)},
          {"label", sdbus::Variant(answer.label)},
          {"heading", sdbus::Variant(page.heading)},
          {"verdict", sdbus::Variant(page.verdict)},
          {"verdict_colour", sdbus::Variant(RgbText(page.verdictColour))},
          {"grid_visible", sdbus::Variant(page.gridVisible)},
          {"thresholds_valid", sdbus::Variant(answer.thresholdsValid)},
          {"read_at", sdbus::Variant(answer.readAt)},
          {"rows", sdbus::Variant(rows)}};
}

}  // namespace rur::service
