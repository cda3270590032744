// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_drives.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <algorithm>
#include <set>

#include "platform/service_bus_names.h"
#include "window/qt_text.h"
#include "window/service_calls.h"

namespace rur::ui {
namespace {

QDBusConnection Bus() { return QDBusConnection::systemBus(); }

class RefusingDevice final : public ScsiDevice {
 public:
  bool Execute(const ScsiRequest&) override { return false; }
};

// An enclosure method's answer (y result, ay bytes) copied into `out`; a refusal of the service as
// the channel's result codes tell it.
ResultCode CallForBytes(const QString& object, const QString& method, const QVariantList& arguments, std::uint8_t* out,
                        std::size_t size) {
  QDBusMessage reply;
  std::string error;
  if (!CallService({object, bus::kEnclosureInterface, method, arguments}, reply, error))
    return reply.errorName() == QString::fromLatin1(bus::kErrorPrefix) + QStringLiteral("Busy") ? kResultControllerBusy
                                                                                                : kResultOpenFailed;
  const QList<QVariant> values = reply.arguments();
  if (values.size() != 2) return kResultOpenFailed;
  const QByteArray bytes = values[1].toByteArray();
  std::fill(out, out + size, 0);
  std::copy_n(bytes.constData(), std::min<std::size_t>(size, static_cast<std::size_t>(bytes.size())), out);
  return static_cast<ResultCode>(values[0].toUInt());
}

}  // namespace

ServiceDrives::ServiceDrives() {
  Bus().connect(QString::fromLatin1(bus::kBusName), QString::fromLatin1(bus::kManagerPath),
                QString::fromLatin1(kPropertiesInterface), QStringLiteral("PropertiesChanged"), this,
                SLOT(ManagerPropertiesChanged(QString, QVariantMap, QStringList)));
}

DeviceHandle ServiceDrives::OpenPhysicalDrive(unsigned number) {
  if (ObjectOf(number).isEmpty()) return nullptr;
  return std::make_unique<RefusingDevice>();
}

std::vector<DriveFacts> ServiceDrives::ListDrives() {
  std::vector<DriveFacts> drives;
  std::map<unsigned, QString> objects;
  std::map<unsigned, std::string> nodes;
  QDBusMessage listed;
  std::string error;
  if (CallService({QString::fromLatin1(bus::kManagerPath), bus::kManagerInterface, QStringLiteral("GetEnclosures"), {}},
                  listed, error)) {
    for (const QDBusObjectPath& object : qdbus_cast<QList<QDBusObjectPath>>(listed.arguments().value(0))) {
      QDBusMessage all;
      QVariantMap properties;
      if (CallService({object.path(),
                       kPropertiesInterface,
                       QStringLiteral("GetAll"),
                       {QString::fromLatin1(bus::kEnclosureInterface)}},
                      all, error)) {
        properties = qdbus_cast<QVariantMap>(all.arguments().value(0));
      } else {
        // An enclosure whose facts the service cannot all give is still listed by its drive, so
        // the devices after it keep their numbers.
        QDBusMessage drive;
        if (!CallService({object.path(),
                          kPropertiesInterface,
                          QStringLiteral("Get"),
                          {QString::fromLatin1(bus::kEnclosureInterface), QStringLiteral("Drive")}},
                         drive, error))
          continue;
        properties.insert(QStringLiteral("Drive"), qdbus_cast<QDBusVariant>(drive.arguments().value(0)).variant());
      }
      DriveFacts facts;
      facts.number = properties.value(QStringLiteral("Drive")).toUInt();
      facts.path = Std(properties.value(QStringLiteral("Path")).toString());
      facts.byId = Std(properties.value(QStringLiteral("ById")).toString());
      // Whatever its bus, the service found an enclosure there: detection asks it.
      facts.bus = "usb";
      objects[facts.number] = object.path();
      nodes[facts.number] = facts.path;
      drives.push_back(std::move(facts));
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  objects_ = std::move(objects);
  nodes_ = std::move(nodes);
  return drives;
}

OpenCheck ServiceDrives::CheckOpen(unsigned number) {
  OpenCheck check;
  if (ObjectOf(number).isEmpty()) check.outcome = OpenCheck::Outcome::Fails;
  return check;
}

HoldAttempt ServiceDrives::HoldController(unsigned, std::uint32_t) { return HoldAttempt{}; }

ResultCode ServiceDrives::Query(unsigned drive, std::uint8_t code, Sector& answer) {
  const QString object = ObjectOf(drive);
  if (object.isEmpty()) return kResultOpenFailed;
  return CallForBytes(object, QStringLiteral("Query"), {QVariant::fromValue(code)}, answer.data(), answer.size());
}

ResultCode ServiceDrives::ReadMemberPage(unsigned drive, std::uint8_t ataCode, std::uint8_t port, MemberPage& page) {
  const QString object = ObjectOf(drive);
  if (object.isEmpty()) return kResultOpenFailed;
  return CallForBytes(object, QStringLiteral("ReadMemberPage"),
                      {QVariant::fromValue(ataCode), QVariant::fromValue(port)}, page.data(), page.size());
}

std::vector<DriveNotice> ServiceDrives::TakeNotices() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(notices_, {});
}

void ServiceDrives::ManagerPropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                             const QStringList& invalidated) {
  const QString list = QStringLiteral("Enclosures");
  if (interfaceName != QString::fromLatin1(bus::kManagerInterface) ||
      (!changed.contains(list) && !invalidated.contains(list)))
    return;
  // The enclosures that are no longer listed left; any other change is looked at by a detection.
  std::set<QString> listed;
  const QDBusArgument argument = changed.value(list).value<QDBusArgument>();
  QList<QDBusObjectPath> paths;
  if (argument.currentType() == QDBusArgument::ArrayType) argument >> paths;
  for (const QDBusObjectPath& path : paths) listed.insert(path.path());
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [drive, object] : objects_) {
    if (listed.count(object) != 0) continue;
    notices_.push_back(DriveNotice{DriveNotice::Kind::Removed, static_cast<int>(drive), nodes_[drive]});
  }
  notices_.push_back(DriveNotice{DriveNotice::Kind::Changed, -1, {}});
}

QString ServiceDrives::ObjectOf(unsigned drive) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = objects_.find(drive);
  return found == objects_.end() ? QString() : found->second;
}

}  // namespace rur::ui
