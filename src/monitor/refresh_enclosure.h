// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One enclosure's part of the 5 s refresh: the sensor readings (when it has sensors), then the
// rebuild and members answers until they agree, written into its status record.

#include <cstdint>
#include <functional>
#include <string>

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
};

enum class RefreshOutcome {
  Refreshed,
  Failed,  // a query failed
  Busy,    // another process held the controller: skipped, not a failure
  GaveUp,  // an upgrade started or the program is closing: the cycle ends at once
};

// The status-bar texts show the cycle counter (c) and the pass, as they always have.
RefreshOutcome RefreshEnclosure(ControllerChannel& channel, Clock& clock, Ui& ui, const std::string& cycleText,
                                EnclosureRefresh& target, StatusRecord& record,
                                const std::function<bool()>& shouldGiveUp);

// Two upper-case hexadecimal digits, as the status-bar texts show numbers.
std::string Hex2(unsigned value);
// "the members query failed (result F2, no answer)": a failed query as a user reads it.
std::string QueryFailureText(std::uint8_t query, std::uint8_t result);

}  // namespace rur
