// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/array_capacity.h"

#include <algorithm>

#include "monitor/query_answers.h"
#include "transport/commands.h"

namespace rur {

bool FillArrayCapacity(ControllerChannel& channel, Clock& clock, unsigned drive, const IdentifyBlock& identity,
                       bool hasName, StatusRecord& record) {
  if (record[status_offset::kArrayMode] == kModeMirroring) {
    clock.sleepMs(kQueryGapMs);
    Sector answer{};
    if (channel.Query(drive, QUERY_REBUILD, answer) != kResultOk) return false;
    WriteLe(record.data() + status_offset::kArrayCapacity, 6, ReadBe(answer.data() + rebuild_answer::kSize, 6));
    record[status_offset::kActivityProgress] =
        record[status_offset::kActivityFlags] != 0
            ? ProgressPercent(ReadBe(answer.data() + rebuild_answer::kPosition, 5),
                              ReadBe(answer.data() + rebuild_answer::kSize, 6))
            : 0;
    return true;
  }
  std::uint64_t capacity;
  if (hasName) {
    capacity = ReadLe(identity.data() + identify_offset::kCapacity, 6);
  } else {
    capacity = 2 * std::min(ReadLe(record.data() + status_offset::kHdd1Capacity, 6),
                            ReadLe(record.data() + status_offset::kHdd2Capacity, 6));
  }
  WriteLe(record.data() + status_offset::kArrayCapacity, 6, capacity);
  return true;
}

}  // namespace rur
