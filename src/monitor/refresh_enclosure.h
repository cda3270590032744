// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One enclosure's part of the 5 s refresh: the sensor readings (when it has sensors), then the
// rebuild and members answers until they agree, written into its status record.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "monitor/identify_block.h"
#include "monitor/status_record.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "transport/controller_channel.h"

namespace rur {

struct EnclosureRefresh {
  unsigned drive = 0;
  bool hasSensor = false;
  bool blockAIsHdd1 = false;    // from the identity: which answer block describes HDD1
  bool rebuildRunning = false;  // in and out: whether a rebuild was seen running
  std::string failure;          // out: which query failed and how, when one did
  std::string busyHolder;       // out: who held the controller, when another process did
};

enum class RefreshOutcome {
  Refreshed,
  Failed,  // a query failed
  Busy,    // another process held the controller: skipped, not a failure
  GaveUp,  // an upgrade started or the program is closing: the cycle ends at once
};

// One enclosure's refresh as a run of single queries, so the refreshes of several enclosures can
// go side by side: each query waits its gap after the enclosure's previous one, and while one
// enclosure waits another is asked. Each enclosure's own queries stay in their order.
class EnclosureRefreshRun {
 public:
  EnclosureRefreshRun(EnclosureRefresh& target, StatusRecord& record, std::uint64_t startMs);
  bool done() const { return stage_ == Stage::Done; }
  // When the next query may be sent (its gap after this enclosure's previous query).
  std::uint64_t dueMs() const { return dueMs_; }
  // Sends the next query and takes in its answer; `c` is the cycle counter the trace panels show.
  void Step(ControllerChannel& channel, Clock& clock, Ui& ui, const std::string& c);
  RefreshOutcome outcome() const;

 private:
  enum class Stage { Sensors, Rebuild, Members, Done };
  void Finish(bool ok);

  EnclosureRefresh& target_;
  StatusRecord& record_;
  Stage stage_;
  unsigned pass_ = 0;
  std::uint64_t dueMs_;
  bool ok_ = true;
  bool busy_ = false;
  bool rebuildSeen_ = false;  // this run read a running rebuild's progress
};

// Runs the refresh of every target side by side; false when `shouldGiveUp` ended it early (an
// upgrade started or the program is closing). outcomes[i] belongs to targets[i].
bool RefreshSideBySide(ControllerChannel& channel, Clock& clock, Ui& ui, const std::string& cycleText,
                       std::vector<EnclosureRefresh*> targets, std::vector<StatusRecord*> records,
                       const std::function<bool()>& shouldGiveUp, std::vector<RefreshOutcome>& outcomes);

// Two upper-case hexadecimal digits, as the status-bar texts show numbers.
std::string Hex2(unsigned value);
// "the members query failed (result F2, no answer)": a failed query as a user reads it.
std::string QueryFailureText(std::uint8_t query, std::uint8_t result);

}  // namespace rur
