// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the program does with mail: it keeps the mail settings (stored values and the
// subject and contents files of each alarm kind), fills and saves the E-mail page, and sends the
// alarm mails the monitor raises and the test mail the user asks for.
//
// Alarms wait in a queue until the mail thread composes them: the alarms of one kind that wait
// together go in one mail, each kind in its own. A composed mail goes to the outbox (a file of
// the data folder) before its first attempt and leaves it once delivered or refused for good; a
// failed mail is tried again later with a growing delay, for three days, across restarts, and at
// once when the settings are loaded again (they may mend what failed).
//
// All of it runs on the engine's main context except the SMTP exchange itself, which runs on a
// worker thread bounded by the time-out; the mail thread takes its outcome at its next look, so
// the engine never waits for a server. The test mail waits for its outcome and pumps the user
// interface meanwhile.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "notify/background_delivery.h"
#include "notify/mail_outbox.h"
#include "notify/mail_page_model.h"
#include "notify/mail_settings.h"
#include "notify/mail_transport.h"
#include "notify/password_block.h"
#include "notify/recipient_refusal.h"
#include "notify/settings_store.h"
#include "platform/claimed_file.h"
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

// What became of the mails a flush found waiting.
struct FlushReport {
  std::size_t tried = 0;             // mails in the outbox when the flush began
  std::size_t sent = 0;              // delivered by this flush
  std::size_t refused = 0;           // refused for good by the server (the day log names each recipient)
  std::size_t givenUp = 0;           // three days old, or twice sent without an answer
  std::size_t settledElsewhere = 0;  // delivered or removed by another sender meanwhile
};

// One alarm as the monitor raised it: its sentence and the device's information block.
struct RaisedAlarm {
  std::uint8_t kind = 0;
  std::vector<std::string> lines;
};

struct MailKindTexts {
  std::vector<std::string> subject;   // first line is the subject
  std::vector<std::string> contents;  // the user's text
};

class MailCenter {
 public:
  MailCenter(SettingsStore& store, Ui& ui, Clock& clock, MailTransport& transport, std::string defaultMailFolder,
             std::vector<std::string> systemInfoText);
  // A mail still on its way is waited for (its time-out bounds the wait) and its outcome kept.
  ~MailCenter();
  MailCenter(const MailCenter&) = delete;
  MailCenter& operator=(const MailCenter&) = delete;

  // At program start: completes an older key (account from the sender address, the suppress
  // mask) and asks the mail thread to load the settings.
  void StartUp();
  // Loads the stored settings; a load after the first tries every waiting mail at once, as new
  // settings may mend what held it back.
  void LoadMailSettings();
  // Stores the page; false (after a message box) when a value or file could not be written.
  bool SaveMailSettings(MailPageModel& page);

  // The outbox folder: the mails it holds are loaded and tried within seconds, whatever their
  // schedule said; new mails are kept there until delivered.
  void UseOutbox(std::string folder);
  // Where a given-up mail is recorded (the day's event log); the line gets its time stamp there.
  void SetLogSink(std::function<void(const std::string&)> sink) { logSink_ = std::move(sink); }
  // Where a recipient the server refused for good is recorded, with its day-log line; without
  // one, the line goes to the log sink.
  using RefusalSink = std::function<void(const std::string& line, const RecipientRefusal&)>;
  void SetRefusalSink(RefusalSink sink) { refusalSink_ = std::move(sink); }

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

  // The mail thread's look, every kEmailThreadIntervalMs: requests, the outcome of a delivery,
  // the next mail that is due.
  void EmailThreadTick();
  void MailDispatch();
  // Whether the mail thread has something to do now.
  bool HasWork();
  // Waits in real time for the delivery in flight and delivers, one after another, every mail
  // that is due now (each bounded by its time-out); mails that fail stay in the outbox.
  void FinishDeliveries();
  // Tries every waiting mail now, whatever its schedule, and waits for the outcomes. A pass ends
  // at the first server that does not answer: the rest wait for the next one. The report counts
  // what this flush did itself; what still waits is in Outbox().
  FlushReport FlushOutbox();
  // At a stop: the mails due are tried within one time-out in all; the mail still in flight then
  // is given up and stays in the outbox. Mails that could not be kept there are lost: see below.
  void StopDeliveries();
  // The mails that could be neither kept in the outbox nor sent, with the reason in lastError,
  // since the last call. Only a stop finds them: until then they wait in memory.
  std::vector<QueuedMail> TakeLostMails();
  MailReport SendTestMail();

  // An alarm of the monitor: kept until it was mailed (or its kind is not mailed).
  void RequestAlarm(std::uint8_t kind, std::vector<std::string> lines);

  // Shared with the monitor (RaiseAlarm reads the mask).
  std::atomic<std::uint8_t> MailRequestFlags{0};
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
  // The mails that wait for their server, oldest first.
  const std::vector<QueuedMail>& Outbox() const { return outbox_; }
  // What the status bar says about them; empty while none has failed.
  const std::string& WaitingNotice() const { return waitingNotice_; }
  // Alarms raised so far, and the latest few of them.
  std::uint64_t AlarmsRaised() const { return alarmsRaised_; }
  // Alarms raised in this run of one kind (1..kAlarmKindCount); 0 for any other number.
  std::uint64_t AlarmsRaisedOfKind(int kind) const {
    return kind >= 1 && kind <= kAlarmKindCount ? alarmsRaisedByKind_[static_cast<std::size_t>(kind - 1)] : 0;
  }
  const std::deque<RaisedAlarm>& RecentAlarms() const { return recentAlarms_; }
  bool AllowPlainLogin() const { return allowPlainLogin_; }
  const std::string& CaFile() const { return caFile_; }
  const std::string& ImplicitTls() const { return implicitTls_; }
  // The sensor limits of the fan and temperature alarms.
  std::uint32_t FanMinRpm() const { return fanMinRpm_; }
  std::uint32_t TempAlarm() const { return tempAlarm_; }

 private:
  // The account and mail of a delivery from the loaded settings; false with the reason in `report`.
  bool PrepareDelivery(const std::vector<std::string>& wanted, const std::string& subject,
                       const std::vector<std::string>& body, SmtpAccount& account, OutgoingMail& mail,
                       MailReport& report) const;
  void ApplySteps();
  // The waiting alarms into mails of the outbox.
  void ComposeAlarmMails();
  // Starts the first mail due by `dueBy`; mails that cannot even start count as failed attempts.
  void StartNextDelivery(std::uint64_t dueBy);
  // FinishDeliveries, with a real-time end after which nothing starts and the delivery in flight
  // is given up.
  void FinishDeliveriesBy(std::optional<std::chrono::steady_clock::time_point> end);
  enum class MailFate { Sent, Refused, GivenUp, SettledElsewhere };
  // Every waiting mail due now, the one in flight as soon as it failed.
  void TryOutboxNow();
  // A mail left the outbox: a flush counts how.
  void NoteFate(const std::string& id, MailFate fate);
  // A server that did not answer: the other mails due now wait as long as this one.
  void RestOtherMails(const std::string& failedId);
  // The outcome of the delivery in flight, once it ended. `tellUi` false: only the outbox learns it.
  void TakeDeliveryOutcome(bool tellUi = true);
  void RecordFailure(std::size_t index, const std::string& error);
  void SaveQueued(QueuedMail& mail);
  void UpdateWaitingNotice();
  std::int64_t WallSeconds() { return CivilSeconds(clock_.localTime()); }
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
  PasswordBlock passwordBuffer_ =
      PasswordBlock(kPasswordBlockSize, 0);  // the last block read; its key byte scrambles the next one
  std::vector<std::string> recipients_;
  std::uint32_t loadedRecipientCount_ = 0;
  std::array<MailKindTexts, kAlarmKindCount> mailTexts_;
  std::string mailFolder_;
  std::string defaultMailFolder_;
  bool settingsKeyExists_ = false;
  bool settingsLoaded_ = false;
  bool loadedBefore_ = false;
  std::uint8_t settingsDirty_ = 0;

  bool allowPlainLogin_ = false;
  std::string caFile_;
  std::string implicitTls_;  // "0", "1" or empty (TLS from the first byte on port 465 only)
  std::uint32_t fanMinRpm_ = 0;
  std::uint32_t tempAlarm_ = kDefaultTempAlarm;

  std::vector<RaisedAlarm> alarms_;  // raised, not yet composed
  std::uint64_t alarmsRaised_ = 0;
  std::array<std::uint64_t, kAlarmKindCount> alarmsRaisedByKind_{};
  std::deque<RaisedAlarm> recentAlarms_;
  MailOutbox outboxFiles_;
  std::vector<QueuedMail> outbox_;
  std::string inFlightId_;     // the outbox mail the worker carries
  ClaimedFile inFlightClaim_;  // held from before the connection until its outcome is saved
  std::string lastSaveError_;
  std::vector<QueuedMail> lostMails_;
  bool retryInFlightAtOnce_ = false;  // the settings changed while the mail in flight was on its way
  bool recordingFates_ = false;       // a flush runs
  std::vector<std::pair<std::string, MailFate>> fates_;
  std::string waitingNotice_;
  std::function<void(const std::string&)> logSink_;
  RefusalSink refusalSink_;

  BackgroundDelivery delivery_;
  bool sendingGuard_ = false;      // a test mail is being sent: nothing starts from the outbox
  bool testMailInFlight_ = false;  // the exchange in flight is the test mail's, which takes its own outcome
  bool dispatching_ = false;
  std::uint8_t smtpState_ = 0;
  std::optional<std::uint64_t> lastThreadLookMs_;
  MailReport lastReport_;
};

}  // namespace rur
