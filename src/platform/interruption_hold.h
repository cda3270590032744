// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the signals that would end or stop the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP)
// from doing so for a scope in which ending it would do harm, such as while a controller's flash
// is rewritten. Each one that arrives is noted and answered at once on standard error with the
// notice; SIGPIPE is ignored, so a closed terminal cannot end the process through a write. When
// the scope ends the previous dispositions come back and the held signals are dropped: the
// process goes on with its own outcome. SIGKILL and power loss cannot be held.

#include <string>

namespace rur {

class InterruptionHold {
 public:
  explicit InterruptionHold(const std::string& notice);
  ~InterruptionHold();
  InterruptionHold(const InterruptionHold&) = delete;
  InterruptionHold& operator=(const InterruptionHold&) = delete;

  // Whether the signals are held (only one hold can be active at a time).
  bool active() const { return active_; }
  // The last signal that was held, 0 when none came.
  static int lastHeldSignal();

 private:
  bool active_ = false;
};

}  // namespace rur
