// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/sensor_watch.h"

namespace rur {

unsigned FanSpeedRpm(const StatusRecord& record) {
  return static_cast<unsigned>(ReadLe(record.data() + status_offset::kFanSpeed, 2));
}

std::vector<SensorEvent> SensorWatch::Check(unsigned drive, unsigned device, const StatusRecord& record,
                                            const SensorLimits& limits) {
  std::vector<SensorEvent> events;
  if (drive >= memory_.size() || (record[status_offset::kEnvironmentFlags] & 0xF0) != kSensorsValid) return events;
  Memory& memory = memory_[drive];
  const std::string d = "D" + std::to_string(device + 1);
  const std::string n = "Device" + std::to_string(device + 1);

  const unsigned rpm = FanSpeedRpm(record);
  const bool fanLow = rpm == 0 || rpm < limits.fanMinRpm;
  const std::string speed = std::to_string(rpm) + " RPM";
  if (fanLow) {
    if (++memory.fanLowReadings >= kReadingsBeforeAlarm && !memory.fanAlarm) {
      memory.fanAlarm = true;
      events.push_back({d + " Fan stopped, " + speed + ", ", kAlarmFanStopped, n + " Fan fail, " + speed + ".",
                        LogEventKind::FanFailure});
    }
  } else {
    memory.fanLowReadings = 0;
    if (memory.fanAlarm) {
      memory.fanAlarm = false;
      events.push_back({d + " Fan running, " + speed + ", ", 0, {}, LogEventKind::FanRunning});
    }
  }

  const unsigned celsius = record[status_offset::kTemperature];
  const std::string degrees = std::to_string(celsius) + " C";
  if (celsius >= limits.tempAlarmC) {
    if (++memory.hotReadings >= kReadingsBeforeAlarm && !memory.tempAlarm) {
      memory.tempAlarm = true;
      events.push_back({d + " Temperature too high, " + degrees + ", ", kAlarmTemperatureHigh,
                        n + " Over Heat, " + degrees + ".", LogEventKind::OverTemperature});
    }
  } else {
    memory.hotReadings = 0;
    if (memory.tempAlarm && celsius + kTempClearMarginC <= limits.tempAlarmC) {
      memory.tempAlarm = false;
      events.push_back({d + " Temperature normal, " + degrees + ", ", 0, {}, LogEventKind::TemperatureNormal});
    }
  }
  return events;
}

}  // namespace rur
