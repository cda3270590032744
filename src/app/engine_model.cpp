// SPDX-License-Identifier: GPL-3.0-or-later
// The model the faces read: one Enclosure per enclosure found, rebuilt from what the engine holds
// after every detection and refresh cycle, whatever page the window shows.

#include "app/engine.h"
#include "notify/mail_center.h"

namespace rur {

EnclosureStatus Engine::StatusAt(unsigned position) const {
  const unsigned drive = DriveAt(position);
  const DevicePosition& info = devices_.currentInfo[position];
  const bool known = position < watch_.size() && watch_[position].known();
  const RecordFacts facts{known, info.capacityKnown && known, info.hasSensor, info.firmwareValid};
  return DecodeEnclosureStatus(records_[drive], identity_[drive], facts);
}

void Engine::PublishModel() {
  SensorLimits limits;
  if (mail_) {
    limits.fanMinRpm = mail_->FanMinRpm();
    limits.tempAlarmC = mail_->TempAlarm();
  }
  EnclosureList list;
  list.reserve(devices_.currentCount);
  for (unsigned position = 0; position < devices_.currentCount; ++position) {
    const unsigned drive = DriveAt(position);
    const DevicePosition& info = devices_.currentInfo[position];
    const StatusCurrency currency = Currency(position);
    Enclosure enclosure;
    enclosure.position = position;
    const DriveFacts names = DriveNames(drive);
    enclosure.identity = {drive, names.path, names.byId, info.controllerKind};
    enclosure.nameText = position < deviceNameTexts_.size() ? deviceNameTexts_[position] : std::string();
    enclosure.status = StatusAt(position);
    enclosure.answering = !currency.notAnswering;
    enclosure.current = currency.current;
    enclosure.error = currency.error;
    enclosure.health = HealthOf(enclosure.status, enclosure.answering, limits);
    list.push_back(std::move(enclosure));
  }
  enclosures_ = std::move(list);
  ui_.update(UiUpdate::Enclosures);
}

}  // namespace rur
