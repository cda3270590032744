// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/manager_object.h"

#include <cstdio>
#include <utility>

#include "app/event_facts.h"
#include "monitor/event_log.h"
#include "monitor/log_viewer_model.h"
#include "platform/branding.h"
#include "platform/safe_text.h"
#include "service/service_errors.h"

namespace rur::service {
namespace {

// "YYYY-MM-DD" as a day of the program's clock; false for anything else.
bool ParseDay(const std::string& text, LocalDateTime& day) {
  int year = 0, month = 0, date = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &date, &end) != 3) return false;
  if (month < 1 || month > 12 || date < 1 || date > 31) return false;
  day = LocalDateTime{year, month, date};
  return true;
}

}  // namespace

ManagerObject::ManagerObject(sdbus::IConnection& connection, Program& program, ServiceUi& ui, std::string mailFolder)
    : AdaptorInterfaces(connection, kManagerPath),
      connection_(connection),
      program_(program),
      ui_(ui),
      mailFolder_(std::move(mailFolder)),
      jobs_(connection, program, ui) {
  registerAdaptor();
}

ManagerObject::~ManagerObject() { unregisterAdaptor(); }

void ManagerObject::Synchronize() {
  // The model changes only with a detection or a refresh cycle.
  const Engine& engine = program_.engine();
  const std::pair<unsigned, unsigned> seen{engine.refreshCount(), engine.deviceCount()};
  if (synchronized_ && seen == lastSeen_) return;
  synchronized_ = true;
  lastSeen_ = seen;
  std::vector<DeviceStatus> devices = CollectStatus(engine);
  for (DeviceStatus& device : devices) device.upgrade = program_.UpgradeStatusOfDrive(device.drive);
  bool listChanged = devices.size() != enclosures_.size();
  if (enclosures_.size() > devices.size()) enclosures_.resize(devices.size());
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (i < enclosures_.size())
      enclosures_[i]->Update(devices[i]);
    else
      enclosures_.push_back(std::make_unique<EnclosureObject>(connection_, program_, ui_, jobs_, devices[i]));
  }
  if (listChanged) getObject().emitPropertiesChangedSignal(INTERFACE_NAME, {"Enclosures"});
}

void ManagerObject::SendEvent(const LogEvent& event) {
  const EventFacts facts = DescribeEvent(event, program_);
  std::map<std::string, sdbus::Variant> fields{{"time", sdbus::Variant(facts.time)},
                                               {"event", sdbus::Variant(facts.event)},
                                               {"path", sdbus::Variant(BusText(facts.path))},
                                               {"text", sdbus::Variant(BusText(facts.text))}};
  // As in the JSON lines, a field that does not apply is left out rather than given a dummy value.
  if (facts.device > 0) fields["device"] = sdbus::Variant(static_cast<uint32_t>(facts.device));
  if (facts.drive >= 0) fields["drive"] = sdbus::Variant(static_cast<uint32_t>(facts.drive));
  if (facts.bay != 0) fields["bay"] = sdbus::Variant(static_cast<uint32_t>(facts.bay));
  if (facts.alarmKind != 0) fields["alarm_kind"] = sdbus::Variant(static_cast<uint32_t>(facts.alarmKind));
  emitEvent(fields);
}

std::string ManagerObject::GetLog(const std::string& day) {
  LocalDateTime date = program_.clock().localTime();
  if (!day.empty() && !ParseDay(day, date))
    throw sdbus::Error(kErrorInvalidArgument, "the day \"" + day + "\" is not of the form YYYY-MM-DD");
  const std::string path = EventLogWriter(program_.dataDirectory()).DayFilePath(date);
  std::string text, error;
  if (!LoadLogFileText(path, text, error)) throw sdbus::Error(kErrorFailed, BusText(error));
  return BusText(text);
}

std::string ManagerObject::Version() { return std::string(VersionText); }

std::vector<sdbus::ObjectPath> ManagerObject::Enclosures() {
  std::vector<sdbus::ObjectPath> paths;
  for (std::size_t i = 0; i < enclosures_.size(); ++i) paths.emplace_back(EnclosureObjectPath(i + 1));
  return paths;
}

}  // namespace rur::service
