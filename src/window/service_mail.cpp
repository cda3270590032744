// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_mail.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

#include <map>
#include <vector>

#include "notify/mail_page_changes.h"
#include "platform/service_bus_names.h"
#include "window/qt_text.h"
#include "window/service_calls.h"

namespace rur::ui {
namespace {

// A change may wait for the user to answer polkit, and the test mail for the server: as long as
// the settings' time-out allows (at most an hour), not the bus's usual 25 s.
constexpr int kChangeTimeoutMs = 10 * 60 * 1000;
constexpr int kTestMailTimeoutMs = 2 * 60 * 60 * 1000;

bool Call(const QString& method, const QVariantList& arguments, QDBusMessage& reply, std::string& error,
          int timeoutMs = kChangeTimeoutMs) {
  return CallService(
      {QString::fromLatin1(bus::kManagerPath), bus::kManagerInterface, method, arguments, true, timeoutMs}, reply,
      error);
}

bool Call(const QString& method, const QVariantList& arguments, std::string& error) {
  QDBusMessage reply;
  return Call(method, arguments, reply, error);
}

// A setting as text: switches "1" or "0", numbers in decimal.
std::string SettingText(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? "1" : "0";
  return Std(value.toString());
}

}  // namespace

bool LoadServiceMailPage(MailPageModel& page, std::string& error) {
  QDBusMessage reply;
  if (!Call(QStringLiteral("GetMailSettings"), {}, reply, error)) return false;
  const QVariantMap settings = qdbus_cast<QVariantMap>(reply.arguments().value(0));
  std::map<std::string, std::string> values;
  for (auto entry = settings.begin(); entry != settings.end(); ++entry)
    values[Std(entry.key())] = SettingText(entry.value());
  std::vector<std::string> recipients;
  for (const QString& address : settings.value(QStringLiteral("Recipients")).toStringList())
    recipients.push_back(Std(address));
  FillMailPageFromService(values, recipients, page);
  return true;
}

bool SaveServiceMailPage(const MailPageModel& before, const MailPageModel& after, std::string& error) {
  for (const MailSettingChange& change : MailPageChanges(before, after)) {
    const QVariant value = QVariant::fromValue(QDBusVariant(Q(change.value)));
    if (!Call(QStringLiteral("SetMailSetting"), {Q(change.key), value}, error)) return false;
  }
  if (!after.password.empty() && after.password != before.password)
    return Call(QStringLiteral("SetMailPassword"), {Q(after.password)}, error);
  return true;
}

bool AddServiceRecipient(const std::string& address, std::string& error) {
  return Call(QStringLiteral("AddRecipient"), {QStringLiteral("alarm"), Q(address)}, error);
}

bool RemoveServiceRecipient(const std::string& address, std::string& error) {
  return Call(QStringLiteral("RemoveRecipient"), {QStringLiteral("alarm"), Q(address)}, error);
}

bool SendServiceTestMail(std::string& error) {
  QDBusMessage reply;
  return Call(QStringLiteral("SendTestMail"), {}, reply, error, kTestMailTimeoutMs);
}

}  // namespace rur::ui
