// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the program does with mail: it keeps the mail settings (stored values and the
// subject and contents files of each alarm kind), fills and saves the E-mail page, and sends the
// alarm mails the monitor raises and the test mail the user asks for.
//
// All of it runs on the engine's main context. A delivery runs the SMTP exchange on a worker
// thread and pumps the user interface while it waits, so the window stays alive; the progress
// the transport reports is applied on the main context.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "notify/mail_page_model.h"
#include "notify/mail_settings.h"
#include "notify/mail_transport.h"
#include "notify/password_block.h"
#include "notify/settings_store.h"
#include "platform/clock.h"
#include "platform/user_interface.h"

namespace rur {

// SmtpState values.
constexpr std::uint8_t kSmtpDisconnected = 2;
constexpr std::uint8_t kSmtpConnected = 1;
constexpr std::uint8_t kSmtpSending = 16;
constexpr std::uint8_t kSmtpSent = 17;

// Status-bar panels the mail uses.
constexpr int kMailRequestPanel = 2;
constexpr int kMailProgressPanel = 3;

constexpr std::string_view kSendSuccessText = "Send mail Success!";
constexpr std::string_view kAddressErrorText = "E-Mail Address formula error!";
constexpr std::string_view kSettingsChangedText =
    "E-Mail setting was changed, please click \"OK\" or \"Ignore\" button first!";
constexpr std::string_view kSettingsNotReadyText = "E-Mail setting isn't ready!";

enum class MailOutcome { Sent, NotSent, Failed };

struct MailReport {
  MailOutcome outcome = MailOutcome::NotSent;
  std::string text;                     // what happened, in a sentence
  std::vector<std::string> recipients;  // where the mail went
  std::vector<std::string> rejected;    // recipients refused, with the reason
};

struct MailKindTexts {
  std::vector<std::string> subject;   // first line is the subject
  std::vector<std::string> contents;  // the user's text
};

class MailCenter {
 public:
  MailCenter(SettingsStore& store, Ui& ui, Clock& clock, MailTransport& transport, std::string defaultMailFolder,
             std::vector<std::string> systemInfoText);
  MailCenter(const MailCenter&) = delete;
  MailCenter& operator=(const MailCenter&) = delete;

  // At program start: completes an older key (account from the sender address, the suppress
  // mask) and asks the mail thread to load the settings.
  void StartUp();
  void LoadMailSettings();
  // Stores the page; false (after a message box) when a value or file could not be written.
  bool SaveMailSettings(MailPageModel& page);

  // E-mail page. The caller checks that the page may open and switches to it.
  void ShowMailPage(MailPageModel& page);
  void RevertMailSettings(MailPageModel& page);
  // A control's change event: one of the kDirty* bits.
  void EditChanged(std::uint8_t dirtyBit) { settingsDirty_ |= dirtyBit; }
  void ShowSubPage(MailPageModel& page, int subPage);
  void AddRecipient(MailPageModel& page);
  void RemoveRecipient(MailPageModel& page);
  // A click on a row of the sub-page's recipient grid.
  void SelectRecipient(MailPageModel& page, int row);

  // The mail thread's look at the requests, every kEmailThreadIntervalMs.
  void EmailThreadTick();
  void MailDispatch();
  MailReport SendTestMail();

  // What the monitor's alarm fills: the text, then the kind, then the request bit, in that order.
  void RequestAlarm(std::uint8_t kind, std::vector<std::string> lines);

  // Shared with the monitor (RaiseAlarm reads the mask and fills the alarm).
  std::atomic<std::uint8_t> MailRequestFlags{0};
  std::uint8_t AlarmKind = 0;
  std::vector<std::string> AlarmText;
  std::uint32_t MailSuppressMask = 0;

  const std::vector<std::string>& MailSettings() const { return mailSettings_; }
  std::uint8_t AuthState() const { return authState_; }
  const std::vector<std::string>& Recipients() const { return recipients_; }
  const MailKindTexts& MailTexts(int kind) const { return mailTexts_[static_cast<std::size_t>(kind - 1)]; }
  const std::string& MailFolder() const { return mailFolder_; }
  bool SettingsKeyExists() const { return settingsKeyExists_; }
  bool SettingsLoaded() const { return settingsLoaded_; }
  std::uint8_t SettingsDirty() const { return settingsDirty_; }
  std::uint8_t SmtpState() const { return smtpState_; }
  bool SendingGuard() const { return sendingGuard_; }
  const std::vector<std::string>& SystemInfoText() const { return systemInfoText_; }
  // The outcome of the last delivery, alarm or test.
  const MailReport& LastReport() const { return lastReport_; }

 private:
  MailReport DeliverMail();
  // Runs the transport on a worker thread and applies its progress here while pumping.
  DeliveryResult RunTransfer(const SmtpAccount& account, const OutgoingMail& mail);
  void FillMailPage(MailPageModel& page, bool setSuppressBoxes);
  std::string Setting(MailSettingIndex index) const;
  void ReportStoreError(const StoreResult& result);
  bool WriteKindFiles(const MailPageModel& page);

  SettingsStore& store_;
  Ui& ui_;
  Clock& clock_;
  MailTransport& transport_;
  std::vector<std::string> systemInfoText_;

  std::vector<std::string> mailSettings_;
  std::uint8_t authState_ = kAuthNone;
  PasswordBlock passwordBuffer_{};  // the last block read; its key byte scrambles the next one
  std::vector<std::string> recipients_;
  std::uint32_t loadedRecipientCount_ = 0;
  std::array<MailKindTexts, kAlarmKindCount> mailTexts_;
  std::string mailFolder_;
  std::string defaultMailFolder_;
  bool settingsKeyExists_ = false;
  bool settingsLoaded_ = false;
  std::uint8_t settingsDirty_ = 0;

  std::vector<std::string> outgoingSubject_;
  std::vector<std::string> outgoingBody_;
  bool testMail_ = false;
  bool sendingGuard_ = false;
  bool dispatching_ = false;
  std::uint8_t smtpState_ = 0;
  std::optional<std::uint64_t> lastThreadLookMs_;
  MailReport lastReport_;
};

}  // namespace rur
