// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/manager_object.h"

#include <cstdio>
#include <set>
#include <utility>

#include "monitor/event_log.h"
#include "monitor/log_viewer_model.h"
#include "platform/branding.h"
#include "platform/safe_text.h"

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

ManagerObject::ManagerObject(ServiceContext& context)
    : AdaptorInterfaces(context.connection, kManagerPath), context_(context) {
  registerAdaptor();
}

ManagerObject::~ManagerObject() {
  enclosures_.clear();
  unregisterAdaptor();
}

std::string ManagerObject::PathFor(const std::string& key) {
  if (const auto known = paths_.find(key); known != paths_.end()) return known->second;
  std::set<std::string> taken;
  for (const auto& [identity, path] : paths_) taken.insert(path);
  const std::string base = EnclosureObjectPath(key);
  std::string path = base;
  for (unsigned n = 2; taken.count(path) != 0; ++n) path = base + "_" + std::to_string(n);
  paths_[key] = path;
  return path;
}

void ManagerObject::Follow(const SnapshotPointer& snapshot) {
  snapshot_ = snapshot;
  std::vector<std::string> order;
  std::map<std::string, const EnclosureFacts*> present;
  for (const EnclosureFacts& facts : snapshot->enclosures) {
    const std::string path = PathFor(facts.key);
    order.push_back(path);
    present[path] = &facts;
  }
  for (auto it = enclosures_.begin(); it != enclosures_.end();) {
    if (present.count(it->first) == 0)
      it = enclosures_.erase(it);
    else
      ++it;
  }
  for (const auto& [path, facts] : present) {
    if (auto found = enclosures_.find(path); found != enclosures_.end())
      found->second->Update(*facts);
    else
      enclosures_[path] = std::make_unique<EnclosureObject>(context_, path, *facts);
  }
  if (order != order_) {
    order_ = std::move(order);
    getObject().emitPropertiesChangedSignal(Manager_adaptor::INTERFACE_NAME, {"Enclosures"});
  }
}

void ManagerObject::SendEvent(const EventFacts& facts) {
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
  LocalDateTime date = context_.engine.program().clock().localTime();
  if (!day.empty() && !ParseDay(day, date))
    throw sdbus::Error(kErrorInvalidArgument, "the day \"" + day + "\" is not of the form YYYY-MM-DD");
  const std::string path = EventLogWriter(context_.engine.program().dataDirectory()).DayFilePath(date);
  std::string text, error;
  if (!LoadLogFileText(path, text, error)) throw sdbus::Error(kErrorFailed, BusText(error));
  return BusText(text);
}

std::string ManagerObject::Version() { return std::string(VersionText); }

std::vector<sdbus::ObjectPath> ManagerObject::Enclosures() {
  std::vector<sdbus::ObjectPath> paths;
  for (const std::string& path : order_) paths.emplace_back(path);
  return paths;
}

}  // namespace rur::service
