// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The enclosures of rode-rurd, for a window that is its client: listed from the service's objects,
// their controllers asked through its status queries and member-page reads. No device is opened.

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <map>
#include <mutex>
#include <vector>

#include "app/relayed_drives.h"

namespace rur::ui {

class ServiceDrives final : public QObject, public RelayedDrives {
  Q_OBJECT

 public:
  ServiceDrives();

  // A device that turns every request down: the service alone talks to the controllers.
  DeviceHandle OpenPhysicalDrive(unsigned number) override;
  std::vector<DriveFacts> ListDrives() override;
  OpenCheck CheckOpen(unsigned number) override;
  // The service holds the controller for each request it makes; there is nothing to hold here.
  HoldAttempt HoldController(unsigned number, std::uint32_t waitMs) override;
  ResultCode Query(unsigned drive, std::uint8_t code, Sector& answer) override;
  ResultCode ReadMemberPage(unsigned drive, std::uint8_t ataCode, std::uint8_t port, MemberPage& page) override;
  std::vector<DriveNotice> TakeNotices() override;
  // The object of the enclosure on `drive` as the last listing found it; empty when none.
  QString ObjectOf(unsigned drive) const;

 private slots:
  void ManagerPropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                const QStringList& invalidated);

 private:
  mutable std::mutex mutex_;
  std::map<unsigned, QString> objects_;  // by drive
  std::map<unsigned, std::string> nodes_;
  std::vector<DriveNotice> notices_;
};

}  // namespace rur::ui
