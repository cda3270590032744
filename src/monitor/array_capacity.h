// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The array's capacity in the status record. A mirror reports it in the rebuild answer (which
// also gives a running rebuild's progress); other modes take it from the identity when the
// controller names the product, else it is twice the smaller member.

#include "monitor/identify_block.h"
#include "monitor/status_record.h"
#include "platform/clock.h"
#include "transport/controller_channel.h"

namespace rur {

// Needs the record's mode and members; false when the rebuild answer could not be had (the
// capacity is then left as it was).
bool FillArrayCapacity(ControllerChannel& channel, Clock& clock, unsigned drive, const IdentifyBlock& identity,
                       bool hasName, StatusRecord& record);

}  // namespace rur
