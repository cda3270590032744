// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/mail_center.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/atomic_file.h"
#include "notify/mail_message.h"
#include "platform/branding.h"

namespace rur {

namespace {

constexpr std::string_view kStoreErrorCaption = "Error";

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
      defaultMailFolder_(std::move(defaultMailFolder)) {}

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
  for (const StoreResult& read : {store_.ReadInteger(kValueRecipientCount, count),
                                  store_.ReadInteger(kValueSuppressMask, mask),
                                  store_.ReadString(kValueMailFolder, folder)}) {
    if (read.failed()) return fail(read);
  }
  loadedRecipientCount_ = count;
  MailSuppressMask = mask;
  mailFolder_ = folder.empty() ? defaultMailFolder_ : folder;

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
  if (blockRead.ok()) std::copy_n(block.begin(), std::min(block.size(), passwordBuffer_.size()), passwordBuffer_.begin());
  const DecodedPassword decoded = DecodePasswordBlock(passwordBuffer_);
  authState_ = decoded.authState;
  settings.push_back(decoded.password);
  std::string account;
  const StoreResult accountRead = store_.ReadString(kValueAccount, account);
  if (accountRead.failed()) return fail(accountRead);
  settings.push_back(std::move(account));
  mailSettings_ = std::move(settings);

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
}

bool MailCenter::WriteKindFiles(const MailPageModel& page) {
  for (int kind = 1; kind <= kEditedKindCount; ++kind) {
    const MailKindPage& kindPage = page.kinds[static_cast<std::size_t>(kind - 1)];
    const std::string subjectPath = PathInFolder(mailFolder_, SubjectFileName(kind));
    const std::string contentsPath = PathInFolder(mailFolder_, ContentsFileName(kind));
    std::string error;
    const bool ok =
        (kindPage.subject.empty() ? RemoveFileIfPresent(subjectPath, error)
                                  : WriteFileAtomically(subjectPath, JoinTextLines({kindPage.subject}), 0666, error)) &&
        (kindPage.contents.empty() ? RemoveFileIfPresent(contentsPath, error)
                                   : WriteFileAtomically(contentsPath, JoinTextLines(kindPage.contents), 0666, error));
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

  std::uint32_t mask = MailSuppressMask & ~std::uint32_t{0x03};
  if (page.kinds[0].suppress) mask |= 0x01;
  if (page.kinds[1].suppress) mask |= 0x02;
  MailSuppressMask = mask;
  if (failed(store_.WriteInteger(kValueSuppressMask, mask))) return false;

  if (page.login != ((authState_ & kAuthLogin) != 0)) settingsDirty_ |= kDirtyPassword;
  if (settingsDirty_ != 0 || !keyExisted) {
    const PasswordBlock block =
        EncodePasswordBlock(page.password, passwordBuffer_[kPasswordBlockKeyOffset], page.login);
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

  if (failed(store_.WriteString(kValueMailFolder, mailFolder_))) return false;
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
    for (std::size_t i = 0; i < page.kinds.size(); ++i) {
      const MailKindTexts& texts = mailTexts_[i];
      page.kinds[i].subject = texts.subject.empty() ? std::string() : texts.subject.front();
      page.kinds[i].contents = texts.contents;
    }
    page.recipientEditor = recipients_;
    if (setSuppressBoxes) {
      page.kinds[0].suppress = (MailSuppressMask & 0x01) != 0;
      page.kinds[1].suppress = (MailSuppressMask & 0x02) != 0;
    }
  } else {
    // Nothing stored yet: the defaults, and no edit left over from before.
    const int subPage = page.subPage;
    page = MailPageModel{};
    page.subPage = subPage;
    page.port = kDefaultPort;
    page.timeOut = kDefaultTimeOut;
  }
  ShowSubPage(page, page.subPage);
  settingsDirty_ = 0;
}

void MailCenter::ShowMailPage(MailPageModel& page) { FillMailPage(page, true); }

void MailCenter::RevertMailSettings(MailPageModel& page) { FillMailPage(page, false); }

void MailCenter::ShowSubPage(MailPageModel& page, int subPage) {
  page.subPage = std::clamp(subPage, kMailSubPageSetup, kMailSubPageDeviceRemove);
  for (auto& kindPage : page.kinds) kindPage.addAddress.clear();
}

void MailCenter::AddRecipient(MailPageModel& page) {
  if (page.subPage == kMailSubPageSetup) return;
  MailKindPage& kindPage = page.kinds[static_cast<std::size_t>(page.subPage - 1)];
  if (kindPage.addAddress.empty() || page.recipientEditor.size() >= kMaxRecipients) return;
  if (kindPage.addAddress.find('@') == std::string::npos)
    ui_.messageBox(std::string(kAddressErrorText), std::string(kMailCaption), MessageKind::Plain);
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

// --- sending ---------------------------------------------------------------------------------

void MailCenter::RequestAlarm(std::uint8_t kind, std::vector<std::string> lines) {
  AlarmText = std::move(lines);
  AlarmKind = kind;
  MailRequestFlags |= kMailRequestAlarm;
}

void MailCenter::EmailThreadTick() {
  const std::uint64_t now = clock_.nowMs();
  if (lastThreadLookMs_ && now - *lastThreadLookMs_ < kEmailThreadIntervalMs) return;
  lastThreadLookMs_ = now;
  if (MailRequestFlags.load() != 0) MailDispatch();
}

void MailCenter::MailDispatch() {
  // A delivery pumps the user interface; the mail thread must not start another dispatch then.
  if (dispatching_) return;
  dispatching_ = true;
  struct Release {
    bool& flag;
    ~Release() { flag = false; }
  } release{dispatching_};

  ui_.panel(kMailRequestPanel, "Email=" + std::to_string(MailRequestFlags.load()));
  if (MailRequestFlags.load() & kMailRequestLoad) LoadMailSettings();
  if ((MailRequestFlags.load() & kMailRequestAlarm) == 0) return;
  // A test mail on its way: the alarm waits for the next look instead of being lost.
  if (sendingGuard_) return;

  // The request is taken before the delivery, so an alarm raised while it runs is kept.
  const std::uint8_t kind = AlarmKind;
  std::vector<std::string> body = AlarmText;
  MailRequestFlags &= static_cast<std::uint8_t>(~kMailRequestAlarm);
  if (!settingsLoaded_ || loadedRecipientCount_ == 0) return;

  const bool knownKind = kind >= 1 && kind <= kAlarmKindCount;
  const MailKindTexts noTexts;
  const MailKindTexts& texts = knownKind ? MailTexts(kind) : noTexts;
  body.insert(body.end(), systemInfoText_.begin(), systemInfoText_.end());
  body.insert(body.end(), texts.contents.begin(), texts.contents.end());
  outgoingBody_ = std::move(body);
  outgoingSubject_ = {MessagePrefix() + (texts.subject.empty() ? std::string() : texts.subject.front())};
  testMail_ = false;
  SendingGuardHold hold(sendingGuard_);
  DeliverMail();
}

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
  outgoingBody_ = {"[" + std::string(ApplicationTitle) + "] E-Mail test!"};
  outgoingBody_.insert(outgoingBody_.end(), systemInfoText_.begin(), systemInfoText_.end());
  outgoingSubject_ = {MessagePrefix() + "Mail Teat "};
  testMail_ = true;
  if (sendingGuard_) {
    report.text = "A mail is being sent already.";
    return report;
  }
  SendingGuardHold hold(sendingGuard_);
  return DeliverMail();
}

MailReport MailCenter::DeliverMail() {
  // The window may start a test mail while this one runs (it is turned away by SendingGuard, but
  // marks TestMail all the same); this delivery keeps the kind it started with.
  const bool testMail = testMail_;
  smtpState_ = kSmtpDisconnected;
  MailReport report;
  auto finish = [&](MailReport done) {
    if (done.outcome == MailOutcome::Failed) {
      ui_.panel(kMailProgressPanel, "Send mail failed: " + done.text);
      if (testMail) ui_.messageBox(done.text, std::string(kMailCaption), MessageKind::Error);
    }
    lastReport_ = done;
    return done;
  };
  auto failure = [&](std::string text) {
    report.outcome = MailOutcome::Failed;
    report.text = std::move(text);
    return finish(report);
  };

  SmtpAccount account;
  account.host = TrimAddress(Setting(kSettingHost));
  if (account.host.empty()) return failure("No SMTP server is set.");
  std::string error;
  if (!ParsePortText(Setting(kSettingPort), account.port, error)) return failure(error);
  account.login = (authState_ & kAuthLogin) != 0;
  account.account = Setting(kSettingAccount);
  account.password = Setting(kSettingPassword);
  account.timeoutSeconds = DeliveryTimeoutSeconds(Setting(kSettingTimeOut));

  OutgoingMail mail;
  mail.senderName = Setting(kSettingSenderName);
  mail.senderAddress = TrimAddress(Setting(kSettingSenderAddress));
  if (!IsUsableAddress(mail.senderAddress))
    return failure("The sender address \"" + mail.senderAddress + "\" cannot be used.");
  mail.subject = outgoingSubject_.empty() ? std::string() : outgoingSubject_.front();
  mail.body = outgoingBody_;
  const std::vector<std::string> wanted = testMail ? std::vector<std::string>{mail.senderAddress} : recipients_;
  for (const auto& recipient : wanted) {
    const std::string address = TrimAddress(recipient);
    if (address.empty()) continue;
    if (IsUsableAddress(address))
      mail.recipients.push_back(address);
    else
      report.rejected.push_back(address + " (not a usable address)");
  }
  if (mail.recipients.empty()) {
    report.outcome = MailOutcome::Failed;
    report.text = "There is no usable recipient.";
    return finish(report);
  }

  const DeliveryResult result = RunTransfer(account, mail);
  report.recipients = mail.recipients;
  report.rejected.insert(report.rejected.end(), result.rejected.begin(), result.rejected.end());
  if (testMail && smtpState_ == kSmtpSent)
    ui_.messageBox(std::string(kSendSuccessText), std::string(kMailCaption), MessageKind::Plain);
  smtpState_ = kSmtpDisconnected;
  if (!result.delivered) {
    report.outcome = MailOutcome::Failed;
    report.text = result.error;
    return finish(report);
  }
  report.outcome = MailOutcome::Sent;
  report.text = std::string(kSendSuccessText);
  if (!report.rejected.empty()) {
    std::string refused;
    for (const auto& r : report.rejected) refused += (refused.empty() ? "" : ", ") + r;
    ui_.panel(kMailProgressPanel, "Mail refused for " + refused);
  }
  return finish(report);
}

DeliveryResult MailCenter::RunTransfer(const SmtpAccount& account, const OutgoingMail& mail) {
  enum class Progress { Connected, WorkBegin, WorkEnd };
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Progress> pending;
  bool done = false;
  std::atomic<bool> abort{false};
  DeliveryResult result;

  auto post = [&](Progress step) {
    std::lock_guard lock(mutex);
    pending.push_back(step);
    wake.notify_one();
  };
  DeliveryEvents events;
  events.connected = [&] { post(Progress::Connected); };
  events.workBegin = [&] { post(Progress::WorkBegin); };
  events.workEnd = [&] { post(Progress::WorkEnd); };
  const std::function<bool()> aborted = [&] { return abort.load(); };

  std::thread worker([&] {
    DeliveryResult sent = transport_.Send(account, mail, events, aborted);
    std::lock_guard lock(mutex);
    result = std::move(sent);
    done = true;
    wake.notify_one();
  });

  // The transport bounds its own waits; this is the last line should it not return in time.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(3 * std::uint64_t{account.timeoutSeconds} + 5);
  for (;;) {
    std::deque<Progress> steps;
    bool finished = false;
    {
      std::unique_lock lock(mutex);
      wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return done || !pending.empty(); });
      steps.swap(pending);
      finished = done;
    }
    for (const Progress step : steps) {
      switch (step) {
        case Progress::Connected:
          smtpState_ = kSmtpConnected;
          ui_.panel(kMailRequestPanel, "Connect");
          break;
        case Progress::WorkBegin:
          smtpState_ = kSmtpSending;
          ui_.panel(kMailProgressPanel, "Mail is Sending...");
          break;
        case Progress::WorkEnd:
          smtpState_ = kSmtpSent;
          ui_.panel(kMailProgressPanel, std::string(kSendSuccessText));
          break;
      }
    }
    if (finished) break;
    ui_.pump();
    if (std::chrono::steady_clock::now() > deadline) abort = true;
  }
  worker.join();
  return result;
}

}  // namespace rur
