// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An enclosure that keeps going and coming (a loose cable, a failing bridge). Its first unplug is
// reported at once; unplugs that follow within a minute of its last coming or going belong to the
// same episode. From the third one on the episode is "flapping": reported once, with the count of
// unplugs, and again once when the enclosure has been steady for a minute, with the final count and
// whether it stayed away. Nothing of an episode is ever left unsaid: every unplug is counted.

#include <cstdint>
#include <map>
#include <vector>

namespace rur {

constexpr std::uint64_t kSteadyAfterMs = 60000;
constexpr unsigned kUnplugsOfFlapping = 3;

enum class UnplugReport {
  Removed,   // the first unplug of an episode: report the removal
  Flapping,  // the unplug that makes the episode flapping: report that, with the count
  Counted,   // one more unplug of an episode already reported
};

struct SteadyAgain {
  unsigned drive = 0;
  unsigned position = 0;  // where the enclosure stood in the device list at its last unplug
  unsigned unplugs = 0;
};

class FlapWatch {
 public:
  // The enclosure at `position` on `drive` was unplugged at `nowMs`.
  UnplugReport Unplugged(unsigned drive, unsigned position, std::uint64_t nowMs, unsigned& unplugs);
  // Something else happened on `drive` (it came back): the episode is not steady yet.
  void Changed(unsigned drive, std::uint64_t nowMs);
  // Episodes that have been steady for a minute end; those that were flapping are returned.
  std::vector<SteadyAgain> Steady(std::uint64_t nowMs);
  bool flapping(unsigned drive) const;

 private:
  struct Episode {
    unsigned position = 0;
    unsigned unplugs = 0;
    std::uint64_t lastChangeMs = 0;
    bool flapping = false;
  };
  std::map<unsigned, Episode> episodes_;  // by drive
};

}  // namespace rur
