// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The service's root object: the list of enclosure objects, kept in step with the engine's model,
// the watch's events as Event signals, and the day logs.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "app/program.h"
#include "platform/service_bus_names.h"
#include "service/enclosure_object.h"
#include "service/rode_rur1_adaptor.h"
#include "service/service_ui.h"
#include "service/upgrade_jobs.h"

namespace rur::service {

using bus::kBusName;
using bus::kManagerPath;

class ManagerObject final : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Manager_adaptor> {
 public:
  // `mailFolder` holds the mail settings file (empty: the system settings folder).
  ManagerObject(sdbus::IConnection& connection, Program& program, ServiceUi& ui, std::string mailFolder);
  ~ManagerObject();

  // Follows the engine's model: an object per enclosure, PropertiesChanged for what changed.
  void Synchronize();
  // Sends one event of the engine as an Event signal.
  void SendEvent(const LogEvent& event);
  // The firmware upgrades asked for, run between the calls.
  UpgradeJobs& jobs() { return jobs_; }

 private:
  std::vector<sdbus::ObjectPath> GetEnclosures() override { return Enclosures(); }
  std::string GetLog(const std::string& day) override;
  std::string Version() override;
  std::map<std::string, sdbus::Variant> GetMailSettings() override;
  void SetMailSetting(const std::string& key, const sdbus::Variant& value) override;
  void SetMailPassword(const std::string& password) override;
  void AddRecipient(const std::string& kind, const std::string& address) override;
  void RemoveRecipient(const std::string& kind, const std::string& address) override;
  void SendTestMail() override;
  std::vector<std::map<std::string, sdbus::Variant>> GetOutbox() override;
  std::map<std::string, sdbus::Variant> FlushOutbox() override;
  // Loads a stored change into the service's own mail centre.
  void MailChanged();
  std::vector<sdbus::ObjectPath> Enclosures() override;

  sdbus::IConnection& connection_;
  Program& program_;
  ServiceUi& ui_;
  std::string mailFolder_;
  UpgradeJobs jobs_;
  std::vector<std::unique_ptr<EnclosureObject>> enclosures_;
  bool synchronized_ = false;
  std::pair<unsigned, unsigned> lastSeen_;  // refresh count and device count last synchronized
};

}  // namespace rur::service
