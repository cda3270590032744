// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/smart_poller.h"

#include "smart/read_smart_pages.h"
#include "transport/commands.h"

namespace rur {

void SmartPoller::Read(std::uint8_t kind, ControllerChannel& channel, const DeviceTable& devices,
                       std::span<const StatusRecord> records) {
  const auto enclosures = SmartEnclosures(devices, records);
  ReadSmartPages(kind, channel, enclosures, state_);
}

bool SmartPoller::ReadBayNow(ControllerChannel& channel, unsigned slot, const SmartEnclosure& enclosure, unsigned bay,
                             SmartBayPages& pages) {
  const bool stored = slot < kSmartSlots && bay < kSmartBays;
  if (stored) pages = state_.store[slot][bay];
  const bool whole = ReadBayPagesNow(channel, enclosure, bay, pages);
  if (stored) state_.store[slot][bay] = pages;
  return whole;
}

void SmartPoller::Evaluate(unsigned slot, const std::string& model) { page_ = EvaluateSmart(state_, slot, model); }

std::uint8_t SmartPoller::Tick(const SmartTickInput& input, bool& countdownChanged) {
  const SmartTickResult result = SmartTick(state_, input);
  countdownChanged = result.countdownText && *result.countdownText != countdownText_;
  if (countdownChanged) countdownText_ = *result.countdownText;
  return result.raise;
}

}  // namespace rur
