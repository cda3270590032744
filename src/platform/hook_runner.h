// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Programs the user asked to run on events: started without a shell (PROG is found in PATH like
// a command), with the event in their environment, their output on our standard error and no
// input. They run beside the watch, which never waits for them; one that is still running after
// the time limit is killed with everything it started. A program that could not start, failed or
// was killed is reported.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rur {

constexpr std::chrono::milliseconds kHookTimeLimit{30000};

class HookRunner {
 public:
  using Environment = std::vector<std::pair<std::string, std::string>>;
  using Report = std::function<void(const std::string&)>;

  HookRunner(std::vector<std::string> programs, Report report, std::chrono::milliseconds limit = kHookTimeLimit);
  ~HookRunner();  // waits for what still runs
  HookRunner(const HookRunner&) = delete;
  HookRunner& operator=(const HookRunner&) = delete;

  // Starts every program with `environment` added to ours; `what` names the event in reports.
  void Run(const Environment& environment, const std::string& what);
  // Takes up the programs that ended and kills those past their time; never waits.
  void Poll();
  // Waits until every program has ended (at most the time limit each).
  void WaitAll();
  std::size_t running() const { return children_.size(); }
  bool empty() const { return programs_.empty(); }

 private:
  struct Child {
    pid_t pid;
    std::string program;
    std::string what;
    std::chrono::steady_clock::time_point started;
    bool killed = false;
  };

  std::vector<std::string> programs_;
  Report report_;
  std::chrono::milliseconds limit_;
  std::vector<Child> children_;
  std::vector<void*> jobs_;  // on Windows, the job each child runs in (same order as children_)
};

}  // namespace rur
