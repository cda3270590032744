// The members' SMART pages as the poll cycle reads them and the SMART page shows them.

#include "app/engine.h"
#include "smart/read_smart_pages.h"
#include "smart/smart_tick.h"
#include "transport/commands.h"

namespace rur {

void Engine::SmartRead(std::uint8_t kind) {
  // The controller belongs to a running upgrade; the pass is skipped.
  if (upgrade.UpgradeTarget.load() != kNoDevice || devices.currentCount == 0) return;
  const auto enclosures = SmartEnclosures(devices, records);
  ReadSmartPages(kind, channel, enclosures, smart);
  if (kind == SMART_READ_DATA && currentPage == kPageSmart) EvaluateSmartPage();
}

void Engine::EvaluateSmartPage() {
  const StatusPageView& view = statusPage.view();
  const std::string& model = smart.smartBay == 0 ? view.hdd1Model.text : view.hdd2Model.text;
  smartPage = EvaluateSmart(smart, devices.selected, model);
  ui.update(UiUpdate::SmartPage);
}

void Engine::SelectSmartBay(unsigned bay) {
  if (upgrade.UpgradeTarget.load() != kNoDevice) return;
  smart.smartBay = bay > 1 ? 1 : bay;
  EvaluateSmartPage();
}

void Engine::SmartTimer() {
  SmartTickInput input;
  input.held = deviceChangeCounter != 0 || detecting || UpgradeRunning() || closing;
  input.smartPageCurrent = currentPage == kPageSmart;
  input.requestFlags = requestFlags;
  const SmartTickResult result = SmartTick(smart, input);
  requestFlags |= result.raise;
  if (result.label21 && *result.label21 != smartCountdownText) {
    smartCountdownText = *result.label21;
    ui.update(UiUpdate::SmartCountdown);
  }
}

}  // namespace rur
