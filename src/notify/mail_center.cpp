// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/mail_center.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "notify/address_check.h"
#include "notify/mail_message.h"
#include "notify/outbox_claim.h"
#include "notify/retry_schedule.h"
#include "platform/atomic_file.h"
#include "platform/branding.h"
#include "platform/date_time_text.h"
#include "platform/trusted_folder.h"

namespace rur {

namespace {

constexpr std::string_view kStoreErrorCaption = "Error";
constexpr std::size_t kRecentAlarmsKept = 16;
// The highest limits the page takes: degrees C and RPM.
constexpr std::uint32_t kMaxTempAlarm = 150;
constexpr std::uint32_t kMaxFanMinRpm = 65535;
// A mail whose whole text went out and whose verdict never came is sent once more, no more.
constexpr unsigned kUnknownOutcomeRetries = 1;
// What a stop waits beyond the server's time-out, for the mail thread's look and the worker's end.
constexpr auto kStopMargin = std::chrono::seconds(3);
// A stop never waits longer than this for a server, whatever its time-out: the service manager
// gives the program a fixed time to end.
constexpr unsigned kLongestStopWaitSeconds = 60;
// How often a flush looks whether another sender settled a mail it carries.
constexpr auto kClaimPollInterval = std::chrono::milliseconds(100);

std::string RecipientList(const std::vector<std::string>& recipients) {
  std::string list;
  for (const auto& r : recipients) list += (list.empty() ? "" : ", ") + r;
  return list;
}

// Holds SendingGuard for the length of one delivery, whatever way it ends.
class SendingGuardHold {
 public:
  explicit SendingGuardHold(bool& guard) : guard_(guard) { guard_ = true; }
  ~SendingGuardHold() { guard_ = false; }
  SendingGuardHold(const SendingGuardHold&) = delete;
  SendingGuardHold& operator=(const SendingGuardHold&) = delete;

 private:
  bool& guard_;
};

std::string MessagePrefix() { return "[" + std::string(ApplicationTitle) + " Message] "; }

// A kind's text file: its lines, or none when it does not exist.
bool LoadKindFile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  std::string text;
  lines.clear();
  switch (ReadWholeFile(path, text, error)) {
    case FileReadStatus::Missing: return true;
    case FileReadStatus::Failed: return false;
    case FileReadStatus::Ok: break;
  }
  lines = SplitTextLines(text);
  return true;
}

}  // namespace

MailCenter::MailCenter(SettingsStore& store, Ui& ui, Clock& clock, MailTransport& transport,
                       std::string defaultMailFolder, std::vector<std::string> systemInfoText)
    : store_(store),
      ui_(ui),
      clock_(clock),
      transport_(transport),
      systemInfoText_(std::move(systemInfoText)),
      mailFolder_(defaultMailFolder),
      defaultMailFolder_(std::move(defaultMailFolder)),
      delivery_(transport) {}

MailCenter::~MailCenter() {
  // The window or the sink may be gone by now: only the outbox learns how the last mail went.
  if (testMailInFlight_ || !delivery_.busy()) return;
  while (!delivery_.WaitFor(std::chrono::milliseconds(100))) {
  }
  delivery_.TakeSteps();
  TakeDeliveryOutcome(false);
}

void MailCenter::ReportStoreError(const StoreResult& result) {
  ui_.messageBox(result.error, std::string(kStoreErrorCaption), MessageKind::Error);
}

std::string MailCenter::Setting(MailSettingIndex index) const {
  return index < mailSettings_.size() ? mailSettings_[index] : std::string();
}

// --- settings ------------------------------------------------------------------------------

void MailCenter::StartUp() {
  bool exists = false;
  const StoreResult checked = store_.KeyExists(exists);
  if (checked.failed()) {
    ReportStoreError(checked);
    return;
  }
  if (!exists) {
    mailFolder_ = defaultMailFolder_;
    return;
  }
  settingsKeyExists_ = true;
  std::vector<std::string> names;
  const StoreResult listed = store_.ValueNames(names);
  if (listed.failed()) {
    ReportStoreError(listed);
    return;
  }
  auto has = [&](std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameValueName(n, name); });
  };
  if (!has(kValueAccount)) {
    std::string address;
    store_.ReadString(kValueSenderAddress, address);
    const StoreResult written = store_.WriteString(kValueAccount, AccountFromAddress(address));
    if (written.failed()) ReportStoreError(written);
  }
  if (!has(kValueSuppressMask)) {
    const StoreResult written = store_.WriteInteger(kValueSuppressMask, 0);
    if (written.failed()) ReportStoreError(written);
  }
  MailSuppressMask = 0;
  MailRequestFlags |= kMailRequestLoad;
}

void MailCenter::LoadMailSettings() {
  // A load that fails is reported once; it is tried again after the next save.
  auto fail = [&](const StoreResult& result) {
    MailRequestFlags &= static_cast<std::uint8_t>(~kMailRequestLoad);
    ReportStoreError(result);
  };
  // A missing count or mask reads as 0; a missing folder keeps the default one.
  std::uint32_t count = 0;
  std::uint32_t mask = 0;
  std::string folder;
  for (const StoreResult& read :
       {store_.ReadInteger(kValueRecipientCount, count), store_.ReadInteger(kValueSuppressMask, mask),
        store_.ReadString(kValueMailFolder, folder)}) {
    if (read.failed()) return fail(read);
  }
  loadedRecipientCount_ = count;
  MailSuppressMask = mask;
  mailFolder_ = folder.empty() ? defaultMailFolder_ : folder;
  // The alarm texts come from a folder only its owner can change.
  if (std::string untrusted; mailFolder_ != defaultMailFolder_ && !FolderTrustedForTexts(mailFolder_, untrusted)) {
    ui_.messageBox(untrusted + "; the alarm texts of " + defaultMailFolder_ + " are used instead.",
                   std::string(kStoreErrorCaption), MessageKind::Error);
    mailFolder_ = defaultMailFolder_;
  }

  std::vector<std::string> settings;
  for (const std::string_view name : {kValuePort, kValueHost, kValueSenderName, kValueSenderAddress, kValueTimeOut}) {
    std::string value;
    const StoreResult read = store_.ReadString(name, value);
    if (read.failed()) return fail(read);
    settings.push_back(std::move(value));
  }
  std::vector<std::uint8_t> block;
  const StoreResult blockRead = store_.ReadBinary(kValuePasswordBlock, block);
  if (blockRead.failed()) return fail(blockRead);
  if (blockRead.ok()) {
    passwordBuffer_ = std::move(block);
    if (passwordBuffer_.size() < kPasswordBlockSize) passwordBuffer_.resize(kPasswordBlockSize, 0);
  }
  const DecodedPassword decoded = DecodePasswordBlock(passwordBuffer_);
  authState_ = decoded.authState;
  settings.push_back(decoded.password);
  std::string account;
  const StoreResult accountRead = store_.ReadString(kValueAccount, account);
  if (accountRead.failed()) return fail(accountRead);
  settings.push_back(std::move(account));
  mailSettings_ = std::move(settings);

  // Values newer keys may hold; missing ones keep their defaults.
  std::uint32_t allowPlain = 0, fanMin = 0, tempLimit = kDefaultTempAlarm;
  std::string caFile, implicitTls;
  for (const StoreResult& read :
       {store_.ReadInteger(kValueAllowPlainLogin, allowPlain), store_.ReadString(kValueCaFile, caFile),
        store_.ReadString(kValueImplicitTls, implicitTls), store_.ReadInteger(kValueFanMinRpm, fanMin),
        store_.ReadInteger(kValueTempAlarm, tempLimit)}) {
    if (read.failed()) return fail(read);
  }
  allowPlainLogin_ = allowPlain != 0;
  caFile_ = caFile;
  implicitTls_ = implicitTls;
  fanMinRpm_ = fanMin;
  tempAlarm_ = tempLimit;

  recipients_.clear();
  for (std::size_t n = 0; n < std::min<std::size_t>(count, kMaxRecipients); ++n) {
    std::string address;
    const StoreResult read = store_.ReadString(RecipientValueName(n), address);
    if (read.failed()) return fail(read);
    recipients_.push_back(std::move(address));
  }

  for (int kind = 1; kind <= kAlarmKindCount; ++kind) {
    ui_.pump();
    auto& texts = mailTexts_[static_cast<std::size_t>(kind - 1)];
    std::string error;
    if (!LoadKindFile(PathInFolder(mailFolder_, SubjectFileName(kind)), texts.subject, error) ||
        !LoadKindFile(PathInFolder(mailFolder_, ContentsFileName(kind)), texts.contents, error))
      ui_.messageBox(error, std::string(kStoreErrorCaption), MessageKind::Error);
  }

  settingsLoaded_ = true;
  MailRequestFlags &= static_cast<std::uint8_t>(~kMailRequestLoad);
  settingsDirty_ = 0;
  // Settings loaded again may mend what kept the waiting mails back: they are tried at once.
  if (loadedBefore_) TryOutboxNow();
  loadedBefore_ = true;
}

void MailCenter::TryOutboxNow() {
  const std::uint64_t now = clock_.nowMs();
  for (QueuedMail& mail : outbox_)
    if (mail.id != inFlightId_) mail.dueMs = std::min(mail.dueMs, now);
  // The mail on its way went with the settings before: should it fail, it goes again at once.
  if (!inFlightId_.empty()) retryInFlightAtOnce_ = true;
}

void MailCenter::NoteFate(const std::string& id, MailFate fate) {
  if (recordingFates_) fates_.emplace_back(id, fate);
}

bool MailCenter::WriteKindFiles(const MailPageModel& page) {
  for (int kind = 1; kind <= kEditedKindCount; ++kind) {
    const MailKindPage& kindPage = page.kinds[static_cast<std::size_t>(kind - 1)];
    const std::string subjectPath = PathInFolder(mailFolder_, SubjectFileName(kind));
    const std::string contentsPath = PathInFolder(mailFolder_, ContentsFileName(kind));
    std::string error;
    const bool ok =
        (kindPage.subject.empty()
             ? RemoveFileIfPresent(subjectPath, error)
             : WriteFileAtomically(subjectPath, JoinTextLines({kindPage.subject}), 0600, error, FileModeUse::Exact)) &&
        (kindPage.contents.empty()
             ? RemoveFileIfPresent(contentsPath, error)
             : WriteFileAtomically(contentsPath, JoinTextLines(kindPage.contents), 0600, error, FileModeUse::Exact));
    if (!ok) {
      ui_.messageBox(error, std::string(kStoreErrorCaption), MessageKind::Error);
      return false;
    }
  }
  return true;
}

bool MailCenter::SaveMailSettings(MailPageModel& page) {
  if (page.port.empty()) page.port = kDefaultPort;
  if (page.timeOut.empty()) page.timeOut = kDefaultTimeOut;
  std::uint32_t tempLimit = kDefaultTempAlarm, fanMin = 0;
  if (!ParseLimitText(page.tempAlarm, kMaxTempAlarm, kDefaultTempAlarm, tempLimit) || tempLimit == 0) {
    ui_.messageBox("The temperature limit \"" + page.tempAlarm + "\" is not a number of degrees C (1 to " +
                       std::to_string(kMaxTempAlarm) + ").",
                   std::string(kMailCaption), MessageKind::Plain);
    return false;
  }
  if (!ParseLimitText(page.fanMinRpm, kMaxFanMinRpm, 0, fanMin)) {
    ui_.messageBox(
        "The fan limit \"" + page.fanMinRpm + "\" is not a speed in RPM (0 to " + std::to_string(kMaxFanMinRpm) + ").",
        std::string(kMailCaption), MessageKind::Plain);
    return false;
  }
  if (page.password.size() > kPasswordMaxLength) {
    ui_.messageBox("The password is " + std::to_string(page.password.size()) + " bytes long; at most " +
                       std::to_string(kPasswordMaxLength) + " bytes can be stored.",
                   std::string(kMailCaption), MessageKind::Plain);
    return false;
  }
  if (!page.implicitTls.empty() && page.implicitTls != "0" && page.implicitTls != "1") {
    ui_.messageBox(
        "ImplicitTLS is 0 (STARTTLS), 1 (TLS from the first byte) or empty (TLS from the first byte on "
        "port 465 only), not \"" +
            page.implicitTls + "\".",
        std::string(kMailCaption), MessageKind::Plain);
    return false;
  }
  const bool keyExisted = settingsKeyExists_;
  auto failed = [&](const StoreResult& result) {
    if (!result.failed()) return false;
    ReportStoreError(result);
    return true;
  };

  const std::array<std::pair<std::uint8_t, std::pair<std::string_view, const std::string*>>, 6> fields = {{
      {kDirtyPort, {kValuePort, &page.port}},
      {kDirtyHost, {kValueHost, &page.host}},
      {kDirtySenderName, {kValueSenderName, &page.senderName}},
      {kDirtySenderAddress, {kValueSenderAddress, &page.senderAddress}},
      {kDirtyTimeOut, {kValueTimeOut, &page.timeOut}},
      {kDirtyAccount, {kValueAccount, &page.account}},
  }};
  if (!keyExisted && failed(store_.CreateKey())) return false;
  for (const auto& [bit, field] : fields) {
    if (keyExisted && (settingsDirty_ & bit) == 0) continue;
    if (failed(store_.WriteString(field.first, *field.second))) return false;
  }

  std::uint32_t mask = MailSuppressMask & ~((std::uint32_t{1} << kEditedKindCount) - 1);
  for (std::size_t i = 0; i < page.kinds.size(); ++i)
    if (page.kinds[i].suppress) mask |= std::uint32_t{1} << i;
  MailSuppressMask = mask;
  if (failed(store_.WriteInteger(kValueSuppressMask, mask))) return false;
  if (failed(store_.WriteInteger(kValueAllowPlainLogin, page.allowPlainLogin ? 1 : 0)) ||
      failed(store_.WriteInteger(kValueTempAlarm, tempLimit)) || failed(store_.WriteInteger(kValueFanMinRpm, fanMin)))
    return false;

  if (page.login != ((authState_ & kAuthLogin) != 0)) settingsDirty_ |= kDirtyPassword;
  if (settingsDirty_ != 0 || !keyExisted) {
    const PasswordBlock block = EncodePasswordBlock(page.password, PasswordBlockKey(passwordBuffer_), page.login);
    if (failed(store_.WriteBinary(kValuePasswordBlock, {block.begin(), block.end()}))) return false;
  }

  const auto count = static_cast<std::uint32_t>(page.recipientEditor.size());
  if (page.recipientEditor != recipients_) {
    if (failed(store_.WriteInteger(kValueRecipientCount, count))) return false;
    settingsDirty_ |= kDirtyRecipients;
    for (std::size_t n = 0; n < page.recipientEditor.size(); ++n)
      if (failed(store_.WriteString(RecipientValueName(n), page.recipientEditor[n]))) return false;
  } else if (!keyExisted) {
    if (failed(store_.WriteInteger(kValueRecipientCount, count))) return false;
  }

  if (!page.mailFolder.empty()) mailFolder_ = page.mailFolder;
  if (failed(store_.WriteString(kValueMailFolder, mailFolder_))) return false;
  if ((!page.caFile.empty() || !caFile_.empty()) && failed(store_.WriteString(kValueCaFile, page.caFile))) return false;
  if ((!page.implicitTls.empty() || !implicitTls_.empty()) &&
      failed(store_.WriteString(kValueImplicitTls, page.implicitTls)))
    return false;
  if (!WriteKindFiles(page)) return false;

  MailRequestFlags |= kMailRequestLoad;
  settingsLoaded_ = false;
  settingsKeyExists_ = true;
  return true;
}

// --- the E-mail page -------------------------------------------------------------------------

void MailCenter::FillMailPage(MailPageModel& page, bool setSuppressBoxes) {
  if (settingsKeyExists_) {
    page.port = Setting(kSettingPort);
    page.host = Setting(kSettingHost);
    page.senderName = Setting(kSettingSenderName);
    page.senderAddress = Setting(kSettingSenderAddress);
    page.timeOut = Setting(kSettingTimeOut);
    page.password = Setting(kSettingPassword);
    page.account = Setting(kSettingAccount);
    page.login = (authState_ & kAuthLogin) != 0;
    page.allowPlainLogin = allowPlainLogin_;
    page.caFile = caFile_;
    page.implicitTls = implicitTls_;
    page.mailFolder = mailFolder_;
    page.tempAlarm = std::to_string(tempAlarm_);
    page.fanMinRpm = std::to_string(fanMinRpm_);
    for (std::size_t i = 0; i < page.kinds.size(); ++i) {
      const MailKindTexts& texts = mailTexts_[i];
      page.kinds[i].subject = texts.subject.empty() ? std::string() : texts.subject.front();
      page.kinds[i].contents = texts.contents;
    }
    page.recipientEditor = recipients_;
    if (setSuppressBoxes) {
      for (std::size_t i = 0; i < page.kinds.size(); ++i) page.kinds[i].suppress = (MailSuppressMask >> i) & 1u;
    }
  } else {
    // Nothing stored yet: the defaults, and no edit left over from before.
    const int subPage = page.subPage;
    page = MailPageModel{};
    page.subPage = subPage;
    page.port = kDefaultPort;
    page.timeOut = kDefaultTimeOut;
    page.tempAlarm = std::to_string(kDefaultTempAlarm);
    page.fanMinRpm = "0";
    page.mailFolder = mailFolder_;
  }
  ShowSubPage(page, page.subPage);
  settingsDirty_ = 0;
}

void MailCenter::ShowMailPage(MailPageModel& page) { FillMailPage(page, true); }

void MailCenter::RevertMailSettings(MailPageModel& page) { FillMailPage(page, false); }

void MailCenter::ShowSubPage(MailPageModel& page, int subPage) {
  page.subPage = std::clamp(subPage, kMailSubPageSetup, kMailSubPageDiskHealth);
  for (auto& kindPage : page.kinds) kindPage.addAddress.clear();
}

void MailCenter::AddRecipient(MailPageModel& page) {
  if (page.subPage == kMailSubPageSetup) return;
  MailKindPage& kindPage = page.kinds[static_cast<std::size_t>(page.subPage - 1)];
  if (kindPage.addAddress.empty() || page.recipientEditor.size() >= kMaxRecipients) return;
  const std::string problem = AddressProblem(kindPage.addAddress);
  if (kindPage.addAddress.find('@') == std::string::npos)
    ui_.messageBox(std::string(kAddressErrorText), std::string(kMailCaption), MessageKind::Plain);
  else if (!problem.empty())
    ui_.messageBox("The address \"" + kindPage.addAddress + "\" cannot be used: " + problem + ".",
                   std::string(kMailCaption), MessageKind::Plain);
  else
    page.recipientEditor.push_back(kindPage.addAddress);
  kindPage.addAddress.clear();
}

void MailCenter::RemoveRecipient(MailPageModel& page) {
  if (page.subPage == kMailSubPageSetup) return;
  MailKindPage& kindPage = page.kinds[static_cast<std::size_t>(page.subPage - 1)];
  const int row = kindPage.selectedRow;
  if (row < 0 || static_cast<std::size_t>(row) >= page.recipientEditor.size()) return;
  page.recipientEditor.erase(page.recipientEditor.begin() + row);
  kindPage.addAddress.clear();
}

void MailCenter::SelectRecipient(MailPageModel& page, int row) {
  if (page.subPage == kMailSubPageSetup || row < 0 || static_cast<std::size_t>(row) >= kMaxRecipients) return;
  MailKindPage& kindPage = page.kinds[static_cast<std::size_t>(page.subPage - 1)];
  kindPage.selectedRow = row;
  kindPage.addAddress = page.GridRows()[static_cast<std::size_t>(row)];
}

// --- alarms and the outbox --------------------------------------------------------------------

void MailCenter::RequestAlarm(std::uint8_t kind, std::vector<std::string> lines) {
  ++alarmsRaised_;
  if (kind >= 1 && kind <= kAlarmKindCount) ++alarmsRaisedByKind_[kind - 1u];
  recentAlarms_.push_back({kind, lines});
  if (recentAlarms_.size() > kRecentAlarmsKept) recentAlarms_.pop_front();
  alarms_.push_back({kind, std::move(lines)});
  MailRequestFlags |= kMailRequestAlarm;
}

void MailCenter::UseOutbox(std::string folder) {
  outboxFiles_ = MailOutbox(std::move(folder));
  std::vector<std::string> problems;
  std::vector<QueuedMail> loaded = outboxFiles_.Load(problems);
  for (const auto& problem : problems) ui_.panel(kMailProgressPanel, "Outbox: " + problem);
  // A new run tries every waiting mail soon: the schedule was made on another run's clock.
  const std::uint64_t due = clock_.nowMs() + kOutboxStartDelayMs;
  for (QueuedMail& mail : loaded) {
    mail.dueMs = due;
    outbox_.push_back(std::move(mail));
  }
  UpdateWaitingNotice();
}

void MailCenter::EmailThreadTick() {
  const std::uint64_t now = clock_.nowMs();
  if (lastThreadLookMs_ && now - *lastThreadLookMs_ < kEmailThreadIntervalMs) return;
  lastThreadLookMs_ = now;
  if (HasWork()) MailDispatch();
}

bool MailCenter::HasWork() {
  if (MailRequestFlags.load() != 0 || delivery_.busy()) return true;
  const std::uint64_t now = clock_.nowMs();
  return std::any_of(outbox_.begin(), outbox_.end(), [&](const QueuedMail& mail) { return mail.dueMs <= now; });
}

void MailCenter::MailDispatch() {
  // A test mail pumps the user interface; the mail thread must not start another dispatch then.
  if (dispatching_) return;
  dispatching_ = true;
  struct Release {
    bool& flag;
    ~Release() { flag = false; }
  } release{dispatching_};

  if (MailRequestFlags.load() != 0) ui_.panel(kMailRequestPanel, "Email=" + std::to_string(MailRequestFlags.load()));
  if (MailRequestFlags.load() & kMailRequestLoad) LoadMailSettings();
  TakeDeliveryOutcome();
  if (MailRequestFlags.load() & kMailRequestAlarm) ComposeAlarmMails();
  StartNextDelivery(clock_.nowMs());
}

void MailCenter::FinishDeliveries() { FinishDeliveriesBy(std::nullopt); }

void MailCenter::FinishDeliveriesBy(std::optional<std::chrono::steady_clock::time_point> end) {
  const std::uint64_t dueBy = clock_.nowMs();
  for (;;) {
    TakeDeliveryOutcome();
    if (MailRequestFlags.load() & kMailRequestLoad) LoadMailSettings();
    if (MailRequestFlags.load() & kMailRequestAlarm) ComposeAlarmMails();
    const bool timeLeft = !end || std::chrono::steady_clock::now() < *end;
    // Only what was due when the wait began: a mail that fails now waits for its next turn.
    if (timeLeft) StartNextDelivery(dueBy);
    if (!delivery_.busy()) return;
    if (!timeLeft) delivery_.Abort();
    delivery_.WaitFor(std::chrono::milliseconds(50));
    ui_.pump();
  }
}

void MailCenter::StopDeliveries() {
  const unsigned timeout = std::min(DeliveryTimeoutSeconds(Setting(kSettingTimeOut)), kLongestStopWaitSeconds);
  FinishDeliveriesBy(std::chrono::steady_clock::now() + std::chrono::seconds(timeout) + kStopMargin);
  // What is neither delivered nor in the outbox ends with this run.
  if (!outboxFiles_.persistent()) return;
  for (auto mail = outbox_.begin(); mail != outbox_.end();) {
    if (mail->onDisk) {
      ++mail;
      continue;
    }
    const std::string why = lastSaveError_.empty() ? mail->lastError : lastSaveError_;
    const std::string line = "Mail \"" + mail->subject + "\" to " + RecipientList(mail->recipients) +
                             " was lost: it could be neither kept in the outbox nor sent (" + why + "), ";
    ui_.panel(kMailProgressPanel, line);
    QueuedMail lost = std::move(*mail);
    lost.lastError = line;
    lostMails_.push_back(std::move(lost));
    mail = outbox_.erase(mail);
  }
  UpdateWaitingNotice();
}

std::vector<QueuedMail> MailCenter::TakeLostMails() {
  std::vector<QueuedMail> lost;
  lost.swap(lostMails_);
  return lost;
}

void MailCenter::RestOtherMails(const std::string& failedId) {
  const auto failed =
      std::find_if(outbox_.begin(), outbox_.end(), [&](const QueuedMail& mail) { return mail.id == failedId; });
  const std::uint64_t until = failed != outbox_.end()
                                  ? failed->dueMs
                                  : clock_.nowMs() + static_cast<std::uint64_t>(RetryDelaySeconds(1)) * 1000;
  const std::uint64_t now = clock_.nowMs();
  for (QueuedMail& mail : outbox_)
    if (mail.id != failedId && mail.dueMs <= now) mail.dueMs = until;
}

FlushReport MailCenter::FlushOutbox() {
  FlushReport report;
  report.tried = outbox_.size();
  std::vector<std::string> tried;
  for (const QueuedMail& mail : outbox_) tried.push_back(mail.id);
  recordingFates_ = true;
  fates_.clear();
  const std::uint64_t now = clock_.nowMs();
  for (QueuedMail& mail : outbox_) mail.dueMs = std::min(mail.dueMs, now);
  FinishDeliveries();
  // Mails another sender was carrying meanwhile are that sender's to settle: their outcome is
  // awaited, within one time-out, so that what this flush reports as waiting still waits.
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::seconds(DeliveryTimeoutSeconds(Setting(kSettingTimeOut))) + kStopMargin;
  for (;;) {
    std::erase_if(outbox_, [&](const QueuedMail& mail) {
      if (outboxFiles_.Exists(mail)) return false;
      NoteFate(mail.id, MailFate::SettledElsewhere);
      return true;
    });
    const bool carriedElsewhere = std::any_of(outbox_.begin(), outbox_.end(), [&](const QueuedMail& mail) {
      if (!mail.onDisk || !outboxFiles_.persistent()) return false;
      ClaimedFile probe;
      std::string contents, error;
      return probe.Claim(outboxFiles_.PathOf(mail.id), contents, error) == ClaimOutcome::HeldElsewhere;
    });
    if (!carriedElsewhere || std::chrono::steady_clock::now() >= end) break;
    std::this_thread::sleep_for(kClaimPollInterval);
  }
  recordingFates_ = false;
  // Only the mails that waited when the flush began: one composed meanwhile is another story.
  for (const auto& [id, fate] : fates_) {
    if (std::find(tried.begin(), tried.end(), id) == tried.end()) continue;
    switch (fate) {
      case MailFate::Sent: ++report.sent; break;
      case MailFate::Refused: ++report.refused; break;
      case MailFate::GivenUp: ++report.givenUp; break;
      case MailFate::SettledElsewhere: ++report.settledElsewhere; break;
    }
  }
  fates_.clear();
  UpdateWaitingNotice();
  return report;
}

void MailCenter::ComposeAlarmMails() {
  MailRequestFlags &= static_cast<std::uint8_t>(~kMailRequestAlarm);
  std::vector<RaisedAlarm> alarms;
  alarms.swap(alarms_);
  // Without settings or recipients there is nobody to tell.
  if (!settingsLoaded_ || recipients_.empty()) return;

  // One mail per kind, in the order the kinds were first raised.
  std::vector<std::uint8_t> kinds;
  for (const RaisedAlarm& alarm : alarms)
    if (std::find(kinds.begin(), kinds.end(), alarm.kind) == kinds.end()) kinds.push_back(alarm.kind);
  const std::int64_t wallNow = WallSeconds();
  for (const std::uint8_t kind : kinds) {
    QueuedMail mail;
    mail.kind = kind;
    mail.raisedAt = wallNow;
    mail.nextTryAt = wallNow;
    mail.dueMs = clock_.nowMs();
    mail.recipients = recipients_;
    bool first = true;
    for (const RaisedAlarm& alarm : alarms) {
      if (alarm.kind != kind) continue;
      if (!first) mail.body.emplace_back();  // an empty line between two alarms
      first = false;
      mail.body.insert(mail.body.end(), alarm.lines.begin(), alarm.lines.end());
    }
    const bool knownKind = kind >= 1 && kind <= kAlarmKindCount;
    const MailKindTexts noTexts;
    const MailKindTexts& texts = knownKind ? MailTexts(kind) : noTexts;
    mail.body.insert(mail.body.end(), systemInfoText_.begin(), systemInfoText_.end());
    mail.body.insert(mail.body.end(), texts.contents.begin(), texts.contents.end());
    // A missing or blank subject file still gives the mail a subject: the kind's caption.
    std::string subject = texts.subject.empty() ? std::string() : texts.subject.front();
    if (subject.find_first_not_of(" \t") == std::string::npos && knownKind)
      subject = MailKindCaptions[static_cast<std::size_t>(kind - 1)];
    mail.subject = MessagePrefix() + subject;
    mail.messageId = NewOutboxMessageId(TrimAddress(Setting(kSettingSenderAddress)));
    SaveQueued(mail);
    outbox_.push_back(std::move(mail));
  }
}

void MailCenter::SaveQueued(QueuedMail& mail) {
  std::string error;
  if (!outboxFiles_.Save(mail, outbox_, error)) {
    lastSaveError_ = error;
    ui_.panel(kMailProgressPanel, "Mail kept in memory only: " + error);
  }
}

bool MailCenter::PrepareDelivery(const std::vector<std::string>& wanted, const std::string& subject,
                                 const std::vector<std::string>& body, SmtpAccount& account, OutgoingMail& mail,
                                 MailReport& report) const {
  report.outcome = MailOutcome::Failed;
  account.host = TrimAddress(Setting(kSettingHost));
  if (account.host.empty()) {
    report.text = "No SMTP server is set.";
    return false;
  }
  if (!ParsePortText(Setting(kSettingPort), account.port, report.text)) return false;
  account.login = (authState_ & kAuthLogin) != 0;
  account.password = Setting(kSettingPassword);
  account.allowPlainLogin = allowPlainLogin_;
  account.caFile = caFile_;
  account.implicitTls = implicitTls_ == "1" || (implicitTls_.empty() && account.port == kImplicitTlsPort);
  account.timeoutSeconds = DeliveryTimeoutSeconds(Setting(kSettingTimeOut));

  mail.senderName = Setting(kSettingSenderName);
  mail.senderAddress = TrimAddress(Setting(kSettingSenderAddress));
  if (!IsUsableAddress(mail.senderAddress)) {
    report.text = "The sender address \"" + mail.senderAddress + "\" cannot be used.";
    return false;
  }
  // Without an account of its own, the login is the sender address's local part.
  account.account = Setting(kSettingAccount);
  if (account.account.empty()) account.account = mail.senderAddress.substr(0, mail.senderAddress.rfind('@'));
  mail.subject = subject;
  mail.body = body;
  for (const auto& recipient : wanted) {
    const std::string address = TrimAddress(recipient);
    if (address.empty()) continue;
    if (IsUsableAddress(address))
      mail.recipients.push_back(address);
    else
      report.rejected.push_back(address + " (not a usable address)");
  }
  if (mail.recipients.empty()) {
    report.text = "There is no usable recipient.";
    return false;
  }
  report.recipients = mail.recipients;
  return true;
}

void MailCenter::StartNextDelivery(std::uint64_t dueBy) {
  if (sendingGuard_ || delivery_.busy() || !settingsLoaded_) return;
  for (std::size_t i = 0; i < outbox_.size();) {
    QueuedMail& queued = outbox_[i];
    if (queued.dueMs > dueBy) {
      ++i;
      continue;
    }
    // One sender per mail: the service, a flush and the window may all see this outbox.
    std::string claimError;
    const ClaimOutcome claim = ClaimOutboxMail(outboxFiles_, queued, inFlightClaim_, claimError);
    if (claim == ClaimOutcome::Gone) {
      // Another process (rurctl mail-queue --flush) delivered or removed it meanwhile.
      NoteFate(queued.id, MailFate::SettledElsewhere);
      outbox_.erase(outbox_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (claim != ClaimOutcome::Claimed) {
      // Another sender has it now, or its file cannot be used: look again at its next turn.
      if (claim == ClaimOutcome::Failed) ui_.panel(kMailProgressPanel, "Outbox: " + claimError);
      queued.dueMs = clock_.nowMs() + static_cast<std::uint64_t>(RetryDelaySeconds(1)) * 1000;
      ++i;
      continue;
    }
    SmtpAccount account;
    OutgoingMail mail;
    MailReport report;
    if (!PrepareDelivery(queued.recipients, queued.subject, queued.body, account, mail, report)) {
      lastReport_ = report;
      const std::size_t before = outbox_.size();
      RecordFailure(i, report.text);
      inFlightClaim_.Release();
      if (outbox_.size() == before) ++i;
      continue;
    }
    if (queued.messageId.empty()) queued.messageId = StableOutboxMessageId(queued, mail.senderAddress);
    mail.messageId = queued.messageId;
    // The mail is dated when its alarm was raised, however long it waited in the outbox.
    if (queued.raisedAt != 0) {
      const LocalDateTime raised = CivilFromSeconds(queued.raisedAt);
      mail.date = MailDateText(raised, clock_.utcOffsetSeconds(raised));
    }
    smtpState_ = kSmtpDisconnected;
    inFlightId_ = queued.id;
    lastReport_ = report;
    delivery_.Start(std::move(account), std::move(mail));
    return;
  }
  UpdateWaitingNotice();
}

void MailCenter::ApplySteps() {
  for (const DeliveryStep step : delivery_.TakeSteps()) {
    switch (step) {
      case DeliveryStep::Connected:
        smtpState_ = kSmtpConnected;
        ui_.panel(kMailRequestPanel, "Connect");
        break;
      case DeliveryStep::WorkBegin:
        smtpState_ = kSmtpSending;
        ui_.panel(kMailProgressPanel, "Mail is Sending...");
        break;
      case DeliveryStep::WorkEnd:
        smtpState_ = kSmtpSent;
        ui_.panel(kMailProgressPanel, std::string(kSendSuccessText));
        break;
    }
  }
}

void MailCenter::TakeDeliveryOutcome(bool tellUi) {
  // The test mail takes its own outcome.
  if (testMailInFlight_ || !delivery_.busy()) return;
  if (tellUi) ApplySteps();
  std::optional<DeliveryResult> result = delivery_.TakeResult();
  if (!result) return;
  smtpState_ = kSmtpDisconnected;
  // The claim goes once the outbox knows the outcome, whichever way this ends.
  struct ReleaseClaim {
    ClaimedFile& claim;
    ~ReleaseClaim() { claim.Release(); }
  } releaseClaim{inFlightClaim_};
  const bool retryAtOnce = retryInFlightAtOnce_;
  retryInFlightAtOnce_ = false;
  const auto found =
      std::find_if(outbox_.begin(), outbox_.end(), [&](const QueuedMail& mail) { return mail.id == inFlightId_; });
  const std::string deliveredId = inFlightId_;
  inFlightId_.clear();
  MailReport report = lastReport_;
  report.rejected.insert(report.rejected.end(), result->rejected.begin(), result->rejected.end());
  if (found == outbox_.end()) return;
  const std::size_t index = static_cast<std::size_t>(found - outbox_.begin());
  // A failed attempt: the mail waits for its next turn, or for none when the settings changed
  // while it was on its way.
  const auto keepForLater = [&](const std::string& error) {
    if (tellUi) {
      RecordFailure(index, error);
    } else {
      ++found->attempts;
      found->lastError = error;
      std::string ignored;
      outboxFiles_.Save(*found, outbox_, ignored);
    }
    if (!retryAtOnce) return;
    for (QueuedMail& mail : outbox_)
      if (mail.id == deliveredId) mail.dueMs = clock_.nowMs();
  };
  if (!result->delivered && !result->refused) {
    std::string error = result->error;
    if (result->outcomeUnknown) {
      // The server may have the mail: one more copy under the same Message-ID lets receivers fold
      // the two; a second loss of the answer ends it.
      ++found->unknownOutcomes;
      if (found->unknownOutcomes > kUnknownOutcomeRetries) {
        const std::string line = "Mail \"" + found->subject + "\" to " + RecipientList(found->recipients) +
                                 " went out " + std::to_string(found->unknownOutcomes) +
                                 " times without an answer from the server (" + error + "); it may have arrived " +
                                 "and is not sent again (Message-ID " + found->messageId + "), ";
        if (logSink_) logSink_(line);
        if (tellUi) ui_.panel(kMailProgressPanel, line);
        std::string removeError;
        outboxFiles_.Remove(*found, removeError);
        NoteFate(found->id, MailFate::GivenUp);
        outbox_.erase(found);
        report.text = line;
        lastReport_ = report;
        if (tellUi) UpdateWaitingNotice();
        return;
      }
      error +=
          " The whole mail went out before the answer was lost, so the server may have it: its outcome is "
          "unknown, and it is sent once more under the same Message-ID " +
          found->messageId + ".";
    }
    report.text = error;
    lastReport_ = report;
    keepForLater(error);
    // The next mail would wait for the same silent server: this pass ends here.
    if (result->serverUnreachable && !retryAtOnce) RestOtherMails(deliveredId);
    return;
  }
  report.outcome = result->delivered ? MailOutcome::Sent : MailOutcome::Failed;
  report.text = result->delivered ? std::string(kSendSuccessText) : result->error;
  lastReport_ = report;
  // Each refusal is "address (reply)", at RCPT TO or at the message's end: a permanent one (5xx)
  // goes to the day log, a temporary one (4xx) keeps the mail in the outbox for that recipient.
  std::vector<std::string> retryFor;
  std::string temporaryReplies;
  for (const auto& rejected : result->rejected) {
    const RecipientRefusal refusal = ParseRecipientRefusal(rejected);
    if (refusal.temporary()) {
      retryFor.push_back(refusal.address);
      temporaryReplies += (temporaryReplies.empty() ? "" : ", ") + refusal.address + ": \"" + refusal.reply + "\"";
      continue;
    }
    const std::string line = "Mail \"" + found->subject + "\" refused for " + refusal.address + " by the server: \"" +
                             refusal.reply + "\", ";
    if (refusalSink_)
      refusalSink_(line, refusal);
    else if (logSink_)
      logSink_(line);
  }
  if (!retryFor.empty()) {
    found->recipients = retryFor;
    const std::string what = retryFor.size() == 1 ? "that recipient" : "those recipients";
    keepForLater(result->delivered ? "The mail server refused for now " + temporaryReplies + "; the mail is kept for " +
                                         what + " and retried."
                                   : result->error + " The mail is kept for " + what + " and retried.");
    return;
  }
  std::string error;
  if (!outboxFiles_.Remove(*found, error) && tellUi) ui_.panel(kMailProgressPanel, "Outbox: " + error);
  NoteFate(found->id, result->delivered ? MailFate::Sent : MailFate::Refused);
  outbox_.erase(found);
  if (!tellUi) return;
  if (!report.rejected.empty()) {
    std::string refused;
    for (const auto& r : report.rejected) refused += (refused.empty() ? "" : ", ") + r;
    ui_.panel(kMailProgressPanel, "Mail refused for " + refused);
  }
  UpdateWaitingNotice();
}

void MailCenter::RecordFailure(std::size_t index, const std::string& error) {
  QueuedMail& mail = outbox_[index];
  ++mail.attempts;
  mail.lastError = error;
  const std::int64_t wallNow = WallSeconds();
  if (wallNow - mail.raisedAt >= kGiveUpAfterSeconds) {
    std::string recipients;
    for (const auto& r : mail.recipients) recipients += (recipients.empty() ? "" : ", ") + r;
    const std::string line = "Mail \"" + mail.subject + "\" to " + recipients + " given up after " +
                             std::to_string(mail.attempts) + " attempts in 3 days: " + error + ", ";
    if (logSink_) logSink_(line);
    ui_.panel(kMailProgressPanel, line);
    std::string removeError;
    outboxFiles_.Remove(mail, removeError);
    NoteFate(mail.id, MailFate::GivenUp);
    outbox_.erase(outbox_.begin() + static_cast<std::ptrdiff_t>(index));
  } else {
    const std::int64_t delay = RetryDelaySeconds(mail.attempts);
    mail.dueMs = clock_.nowMs() + static_cast<std::uint64_t>(delay) * 1000;
    mail.nextTryAt = wallNow + delay;
    ui_.panel(kMailProgressPanel, "Send mail failed: " + error + " The mail stays in the outbox; next attempt at " +
                                      FormatDateTime(CivilFromSeconds(mail.nextTryAt)) + ".");
    SaveQueued(mail);
  }
  UpdateWaitingNotice();
}

void MailCenter::UpdateWaitingNotice() {
  // Mails on their first way are no news; once one failed, the count and the latest reason are.
  const auto failed =
      std::find_if(outbox_.rbegin(), outbox_.rend(), [](const QueuedMail& m) { return m.attempts > 0; });
  std::string notice;
  if (failed != outbox_.rend()) {
    // Only a mail whose file was written waits in the outbox; the others end with this run.
    const auto inMemory = static_cast<std::size_t>(std::count_if(
        outbox_.begin(), outbox_.end(), [&](const QueuedMail& m) { return outboxFiles_.persistent() && !m.onDisk; }));
    const std::size_t kept = outbox_.size() - inMemory;
    if (kept != 0)
      notice =
          std::to_string(kept) + (kept == 1 ? " mail waits" : " mails wait") + " in the outbox: " + failed->lastError;
    if (inMemory != 0)
      notice += (notice.empty() ? "" : "; ") + std::to_string(inMemory) + (inMemory == 1 ? " mail" : " mails") +
                " could not be kept in the outbox (" + lastSaveError_ + ") and " + (inMemory == 1 ? "waits" : "wait") +
                " in memory only, lost if the program ends: " + failed->lastError;
  }
  if (notice == waitingNotice_) return;
  waitingNotice_ = notice;
  ui_.mailWaiting(notice);
}

// --- the test mail ----------------------------------------------------------------------------

MailReport MailCenter::SendTestMail() {
  MailReport report;
  if (settingsDirty_ != 0) {
    ui_.messageBox(std::string(kSettingsChangedText), std::string(kMailCaption), MessageKind::Plain);
    report.text = kSettingsChangedText;
    return report;
  }
  if (!settingsLoaded_) {
    ui_.messageBox(std::string(kSettingsNotReadyText), std::string(kMailCaption), MessageKind::Plain);
    report.text = kSettingsNotReadyText;
    return report;
  }
  if (sendingGuard_) {
    report.text = "A test mail is being sent already.";
    return report;
  }
  SendingGuardHold hold(sendingGuard_);
  // An outbox mail on its way (tried at once after the settings changed, say) ends first: one
  // exchange at a time. Nothing else starts from the outbox meanwhile.
  while (delivery_.busy()) {
    if (!delivery_.WaitFor(std::chrono::milliseconds(50))) ui_.pump();
    TakeDeliveryOutcome();
  }
  std::vector<std::string> body = {"[" + std::string(ApplicationTitle) + "] E-Mail test!"};
  body.insert(body.end(), systemInfoText_.begin(), systemInfoText_.end());
  SmtpAccount account;
  OutgoingMail mail;
  const std::string sender = TrimAddress(Setting(kSettingSenderAddress));
  if (!PrepareDelivery({sender}, MessagePrefix() + "Mail Teat ", body, account, mail, report)) {
    ui_.panel(kMailProgressPanel, "Send mail failed: " + report.text);
    ui_.messageBox(report.text, std::string(kMailCaption), MessageKind::Error);
    lastReport_ = report;
    return report;
  }

  smtpState_ = kSmtpDisconnected;
  testMailInFlight_ = true;
  delivery_.Start(std::move(account), std::move(mail));
  std::optional<DeliveryResult> result;
  while (!result) {
    delivery_.WaitFor(std::chrono::milliseconds(50));
    ApplySteps();
    result = delivery_.TakeResult();
    if (!result) ui_.pump();
  }
  testMailInFlight_ = false;
  report.rejected.insert(report.rejected.end(), result->rejected.begin(), result->rejected.end());
  const bool sent = result->delivered && smtpState_ == kSmtpSent;
  smtpState_ = kSmtpDisconnected;
  if (!result->delivered) {
    report.outcome = MailOutcome::Failed;
    report.text = result->error;
    ui_.panel(kMailProgressPanel, "Send mail failed: " + report.text);
    ui_.messageBox(report.text, std::string(kMailCaption), MessageKind::Error);
  } else {
    report.outcome = MailOutcome::Sent;
    report.text = std::string(kSendSuccessText);
    if (sent) ui_.messageBox(std::string(kSendSuccessText), std::string(kMailCaption), MessageKind::Plain);
  }
  lastReport_ = report;
  return report;
}

}  // namespace rur
