// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The service's root object: the list of enclosure objects, kept in step with the engine's
// snapshots (an object per enclosure, named after its identity, added and removed with
// InterfacesAdded and InterfacesRemoved of the root's ObjectManager), the watch's events as Event
// signals, the day logs and the mail methods. Bus thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "app/event_facts.h"
#include "platform/service_bus_names.h"
#include "service/enclosure_object.h"
#include "service/rode_rur1_adaptor.h"
#include "service/service_context.h"
#include "service/service_snapshot.h"

namespace rur::service {

using bus::kBusName;
using bus::kManagerPath;

class ManagerObject final
    : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Manager_adaptor, sdbus::ObjectManager_adaptor> {
 public:
  explicit ManagerObject(ServiceContext& context);
  ~ManagerObject();

  // Follows a new snapshot: an object per enclosure, PropertiesChanged for what changed.
  void Follow(const SnapshotPointer& snapshot);
  // Sends one event of the engine as an Event signal.
  void SendEvent(const EventFacts& facts);

 private:
  std::vector<sdbus::ObjectPath> GetEnclosures() override { return Enclosures(); }
  std::string GetLog(const std::string& day) override;
  std::string Version() override;
  std::map<std::string, sdbus::Variant> GetMailSettings() override;
  void SetMailSetting(sdbus::Result<>&& result, std::string key, sdbus::Variant value) override;
  void SetMailPassword(sdbus::Result<>&& result, std::string password) override;
  void AddRecipient(sdbus::Result<>&& result, std::string kind, std::string address) override;
  void RemoveRecipient(sdbus::Result<>&& result, std::string kind, std::string address) override;
  void SendTestMail(sdbus::Result<>&& result) override;
  void GetOutbox(sdbus::Result<std::vector<std::map<std::string, sdbus::Variant>>>&& result) override;
  void FlushOutbox(sdbus::Result<std::map<std::string, sdbus::Variant>>&& result) override;
  std::vector<sdbus::ObjectPath> Enclosures() override;
  // Asks polkit for manage-mail, then runs `change` on the engine's thread (the stored settings
  // and the service's own mail centre) and answers with its failure, if any.
  void ChangeMail(sdbus::Result<>&& result, const std::string& what, std::function<Failure()> change);
  // The path of the enclosure `key`: the one it had before, else a new one.
  std::string PathFor(const std::string& key);

  ServiceContext& context_;
  SnapshotPointer snapshot_;
  std::map<std::string, std::unique_ptr<EnclosureObject>> enclosures_;  // by path
  std::vector<std::string> order_;                                      // paths in device-list order
  std::map<std::string, std::string> paths_;                            // by identity, for the run
};

}  // namespace rur::service
