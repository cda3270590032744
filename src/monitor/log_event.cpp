// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/log_event.h"

namespace rur {

std::string_view LogEventName(LogEventKind kind) {
  switch (kind) {
    case LogEventKind::Banner: return "banner";
    case LogEventKind::Info: return "info";
    case LogEventKind::MemberRemoved: return "member-removed";
    case LogEventKind::MemberInserted: return "member-inserted";
    case LogEventKind::MemberInitialized: return "member-initialized";
    case LogEventKind::MemberFailed: return "member-failed";
    case LogEventKind::RebuildProgress: return "rebuild-progress";
    case LogEventKind::RebuildDone: return "rebuild-done";
    case LogEventKind::RebuildAborted: return "rebuild-aborted";
    case LogEventKind::DeviceRemoved: return "device-removed";
    case LogEventKind::DeviceFound: return "device-found";
    case LogEventKind::Flapping: return "flapping";
    case LogEventKind::Steady: return "steady";
    case LogEventKind::NotAnswering: return "not-answering";
    case LogEventKind::AnsweringAgain: return "answering-again";
    case LogEventKind::FanFailure: return "fan-failure";
    case LogEventKind::FanRunning: return "fan-running";
    case LogEventKind::OverTemperature: return "over-temperature";
    case LogEventKind::TemperatureNormal: return "temperature-normal";
    case LogEventKind::DiskReplaced: return "disk-replaced";
    case LogEventKind::DiskHealth: return "disk-health";
    case LogEventKind::FlashInvalid: return "flash-invalid";
    case LogEventKind::MailGivenUp: return "mail-given-up";
    case LogEventKind::MailRefused: return "mail-refused";
    case LogEventKind::MailLost: return "mail-lost";
    case LogEventKind::UpgradeUnfinished: return "upgrade-unfinished";
    case LogEventKind::FirmwareUpgrade: return "firmware-upgrade";
    case LogEventKind::Alarm: return "alarm";
  }
  return "info";
}

}  // namespace rur
