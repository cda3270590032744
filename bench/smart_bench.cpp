// SPDX-License-Identifier: GPL-3.0-or-later
// What a SMART pass costs (reads sent, protocol time on the virtual clock) and how long grading
// one full page takes.
#include <benchmark/benchmark.h>

#include "monitor/status_record.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "smart/evaluate_smart.h"
#include "smart/fake_smart_controller.h"
#include "smart/read_smart_pages.h"
#include "smart/smart_pages.h"

namespace rur {
namespace {

test::Pages FullPage() {
  test::Pages pages;
  for (std::size_t n = 0; n < kSmartEntryCount; ++n) {
    const std::size_t at = SmartEntryOffset(n);
    pages.data[at] = static_cast<std::uint8_t>(n < 13 ? n + 1 : 0xB4 + n);
    pages.data[at + smart_entry::kCurrent] = pages.data[at + smart_entry::kWorst] = 100;
    pages.data[at + smart_entry::kRaw] = static_cast<std::uint8_t>(n);
    pages.thresholds[at + smart_entry::kThreshold] = 50;
  }
  return pages;
}

void BM_EvaluateSmart(benchmark::State& state) {
  const test::Pages pages = FullPage();
  for (auto _ : state) {
    SmartPageModel model = EvaluateSmart(SmartEvaluationInput{pages.data, pages.thresholds, 0, "HDD1", "MODEL"});
    benchmark::DoNotOptimize(model);
  }
}
BENCHMARK(BM_EvaluateSmart);

// A data pass over two enclosures with both bays filled: 20 commands.
void BM_SmartDataPass(benchmark::State& state) {
  test::FakeSmartController controller;
  std::vector<test::FakeSmartEnclosure*> enclosures{&controller.add(1), &controller.add(2)};
  for (auto* e : enclosures) e->data[0] = e->data[1] = FullPage().data;
  VirtualClock clock;
  Ui ui;
  ControllerChannel channel(controller, clock, ui);
  SmartState smart;
  const SmartEnclosure list[] = {{1, kBothPresent, false}, {2, kBothPresent, false}};
  std::size_t reads = 0;
  std::uint64_t virtualMs = 0;
  for (auto _ : state) {
    for (auto* e : enclosures) e->disk.requests.clear(), e->framesSeen = 0;
    const std::uint64_t start = clock.nowMs();
    ReadSmartPages(SMART_READ_DATA, channel, list, smart);
    virtualMs = clock.nowMs() - start;
    reads = enclosures[0]->disk.requests.size() + enclosures[1]->disk.requests.size();
  }
  state.counters["reads_per_pass"] = static_cast<double>(reads);
  state.counters["virtual_ms_per_pass"] = static_cast<double>(virtualMs);
}
BENCHMARK(BM_SmartDataPass);

}  // namespace
}  // namespace rur
