// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fan and temperature alarms from the readings every refresh takes of an enclosure with sensors.
// A fan at 0 RPM (or below the set minimum) or a temperature at or above the limit must show on
// two refreshes in a row before it counts; it is logged and raised once, and logged again when it
// clears (the fan turning again, the temperature 5 C below the limit). Only then can it be raised
// again.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/log_event.h"
#include "monitor/status_record.h"

namespace rur {

constexpr std::uint8_t kAlarmTemperatureHigh = 3;
constexpr std::uint8_t kAlarmFanStopped = 4;

constexpr std::uint32_t kDefaultTempAlarmC = 55;
constexpr std::uint32_t kTempClearMarginC = 5;
constexpr unsigned kReadingsBeforeAlarm = 2;

struct SensorLimits {
  std::uint32_t fanMinRpm = 0;  // 0: only a stopped fan counts
  std::uint32_t tempAlarmC = kDefaultTempAlarmC;
};

struct SensorEvent {
  std::string logLine;         // without its time stamp: "D1 Fan stopped, 0 RPM, "
  std::uint8_t alarmKind = 0;  // 0 when the condition cleared
  std::string alarmSentence;   // "Device1 Fan fail, 0 RPM."
  LogEventKind kind = LogEventKind::Info;
};

class SensorWatch {
 public:
  // One refreshed device's readings; `drive` keys what is remembered, `device` (its position)
  // numbers the texts. A record without valid sensor readings changes nothing.
  std::vector<SensorEvent> Check(unsigned drive, unsigned device, const StatusRecord& record,
                                 const SensorLimits& limits);

 private:
  struct Memory {
    unsigned fanLowReadings = 0;
    bool fanAlarm = false;
    unsigned hotReadings = 0;
    bool tempAlarm = false;
  };
  std::array<Memory, kStatusRecordSlots> memory_{};
};

unsigned FanSpeedRpm(const StatusRecord& record);

}  // namespace rur
