// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/flap_watch.h"

namespace rur {

UnplugReport FlapWatch::Unplugged(unsigned drive, unsigned position, std::uint64_t nowMs, unsigned& unplugs) {
  auto found = episodes_.find(drive);
  if (found != episodes_.end() && nowMs - found->second.lastChangeMs >= kSteadyAfterMs) {
    episodes_.erase(found);
    found = episodes_.end();
  }
  Episode& episode = found != episodes_.end() ? found->second : episodes_[drive];
  episode.position = position;
  episode.lastChangeMs = nowMs;
  unplugs = ++episode.unplugs;
  if (episode.unplugs == 1) return UnplugReport::Removed;
  if (!episode.flapping && episode.unplugs >= kUnplugsOfFlapping) {
    episode.flapping = true;
    return UnplugReport::Flapping;
  }
  return UnplugReport::Counted;
}

void FlapWatch::Changed(unsigned drive, std::uint64_t nowMs) {
  const auto found = episodes_.find(drive);
  if (found != episodes_.end()) found->second.lastChangeMs = nowMs;
}

std::vector<SteadyAgain> FlapWatch::Steady(std::uint64_t nowMs) {
  std::vector<SteadyAgain> steady;
  for (auto it = episodes_.begin(); it != episodes_.end();) {
    if (nowMs - it->second.lastChangeMs < kSteadyAfterMs) {
      ++it;
      continue;
    }
    if (it->second.flapping) steady.push_back({it->first, it->second.position, it->second.unplugs});
    it = episodes_.erase(it);
  }
  return steady;
}

bool FlapWatch::flapping(unsigned drive) const {
  const auto found = episodes_.find(drive);
  return found != episodes_.end() && found->second.flapping;
}

}  // namespace rur
