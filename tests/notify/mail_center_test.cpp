// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include <filesystem>

#include "cli/mail_changes.h"
#include "notify/mail_center.h"
#include "notify/mail_page_changes.h"
#include "notify/mail_test_support.h"
#include "notify/standalone_mail.h"
#include "notify/system_info.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

const std::string kPrefix = "[RODE RUR v0.50.11-3 Message] ";

struct MailFixture : ::testing::Test {
  mailtest::ScratchFolder folder;
  MemorySettingsStore store;
  test::RecordingUi ui;
  VirtualClock clock;
  mailtest::RecordingTransport transport;
  std::vector<std::string> info = SystemInfoText(HostFacts{"ACME", "X1", "station", {}});
  MailCenter center{store, ui, clock, transport, folder.slashed(), info};

  // A key as an earlier run stored it, loaded.
  void StoredAndLoaded(std::vector<std::string> recipients, std::string port = "25") {
    store.keyExists = true;
    store.key.Set("Port", SettingsValue::String(port));
    store.key.Set("SMTP", SettingsValue::String("mail.example.com"));
    store.key.Set("UserName", SettingsValue::String("Rode"));
    store.key.Set("Addr", SettingsValue::String("alarm@example.com"));
    store.key.Set("TimeOut", SettingsValue::String("0"));
    const PasswordBlock block = EncodePasswordBlock("pw", 9, false);
    store.key.Set("ProductID", SettingsValue::Binary({block.begin(), block.end()}));
    store.key.Set("ToAddrCount", SettingsValue::Integer(static_cast<std::uint32_t>(recipients.size())));
    for (std::size_t n = 0; n < recipients.size(); ++n)
      store.key.Set(RecipientValueName(n), SettingsValue::String(recipients[n]));
    store.key.Set("FilePath", SettingsValue::String(folder.slashed()));
    center.StartUp();
    center.MailDispatch();
    ASSERT_TRUE(center.SettingsLoaded());
  }
  std::string StoredString(const std::string& name) {
    const SettingsValue* value = store.key.Find(name);
    return value ? value->text : "<missing>";
  }
};

TEST_F(MailFixture, FreshInstallSavesEveryValueAndLoadsItBack) {
  center.StartUp();
  EXPECT_EQ(center.MailRequestFlags.load(), 0);
  MailPageModel page;
  page.host = "left over";
  center.ShowMailPage(page);
  EXPECT_EQ(page.port, "25");
  EXPECT_EQ(page.timeOut, "0");
  EXPECT_EQ(page.host, "");
  EXPECT_FALSE(page.login);

  page.port = "";
  page.host = "mail.example.com";
  page.senderName = "Rode";
  page.senderAddress = "alarm@example.com";
  page.account = "alarm";
  page.password = "secret";
  page.login = true;
  page.recipientEditor = {"a@example.com", "b@example.com"};
  page.kinds[0].subject = "Disk alarm";
  page.kinds[0].contents = {"Please check the enclosure.", "", "Thanks"};
  page.kinds[1].suppress = true;
  ASSERT_TRUE(center.SaveMailSettings(page));

  EXPECT_EQ(StoredString("Port"), "25");
  EXPECT_EQ(StoredString("TimeOut"), "0");
  EXPECT_EQ(StoredString("UserID"), "alarm");
  EXPECT_EQ(StoredString("ToAddr_01"), "b@example.com");
  EXPECT_EQ(StoredString("FilePath"), folder.slashed());
  EXPECT_EQ(store.key.Find("EMailSend")->number, 2u);
  EXPECT_EQ(store.key.Find("ToAddrCount")->number, 2u);
  EXPECT_EQ(store.key.Find("ProductID")->bytes.size(), 18u);
  EXPECT_EQ(folder.Read("EmailSubject Hard Disks Fail.txt"), "Disk alarm\r\n");
  EXPECT_EQ(folder.Read("EmailContens Hard Disks Fail.txt"), "Please check the enclosure.\r\n\r\nThanks\r\n");
  EXPECT_FALSE(folder.Exists("EmailSubject Device Removed.txt"));
  EXPECT_TRUE(center.MailRequestFlags.load() & kMailRequestLoad);
  EXPECT_FALSE(center.SettingsLoaded());

  center.MailDispatch();
  EXPECT_EQ(ui.panelTexts[kMailRequestPanel].back(), "Email=1");
  EXPECT_EQ(center.MailSettings(),
            (std::vector<std::string>{"25", "mail.example.com", "Rode", "alarm@example.com", "0", "secret", "alarm"}));
  EXPECT_EQ(center.AuthState(), kAuthLogin);
  EXPECT_EQ(center.MailSuppressMask, 2u);
  EXPECT_EQ(center.MailTexts(1).contents.size(), 3u);
  EXPECT_EQ(center.MailRequestFlags.load(), 0);

  // Reverting discards edits; showing also sets the suppress boxes.
  MailPageModel shown;
  center.ShowMailPage(shown);
  page.host = "edited";
  center.EditChanged(kDirtyHost);
  center.RevertMailSettings(page);
  EXPECT_EQ(page.host, "mail.example.com");
  EXPECT_EQ(center.SettingsDirty(), 0);
  EXPECT_TRUE(shown.login);
  EXPECT_EQ(shown.kinds[0].subject, "Disk alarm");
  EXPECT_FALSE(shown.kinds[0].suppress);
  EXPECT_TRUE(shown.kinds[1].suppress);
  EXPECT_EQ(shown.recipientEditor, page.recipientEditor);
}

TEST_F(MailFixture, StartUpCompletesAnOlderKey) {
  const struct {
    const char* address;
    const char* account;
  } cases[] = {{"joe@example.com", "joe"}, {"no-at-sign", "no-at-sign"}, {"@example.com", ""}};
  for (const auto& c : cases) {
    MemorySettingsStore older;
    older.keyExists = true;
    older.key.Set("Addr", SettingsValue::String(c.address));
    MailCenter startup(older, ui, clock, transport, folder.slashed(), info);
    startup.StartUp();
    EXPECT_EQ(older.key.Find("UserID")->text, c.account);
    EXPECT_EQ(older.key.Find("EMailSend")->number, 0u);
    EXPECT_EQ(startup.MailRequestFlags.load(), kMailRequestLoad);
    // A key without a count, a mask or a folder still loads: no recipients, the default folder.
    startup.MailDispatch();
    EXPECT_TRUE(startup.SettingsLoaded());
    EXPECT_TRUE(startup.Recipients().empty());
    EXPECT_EQ(startup.MailFolder(), folder.slashed());
    EXPECT_EQ(startup.AuthState(), kAuthBadBlock);  // no password block at all
  }
  MemorySettingsStore kept;
  kept.keyExists = true;
  kept.key.Set("Addr", SettingsValue::String("joe@example.com"));
  kept.key.Set("UserID", SettingsValue::String("someone"));
  MailCenter startup(kept, ui, clock, transport, folder.slashed(), info);
  startup.StartUp();
  EXPECT_EQ(kept.key.Find("UserID")->text, "someone");
}

TEST_F(MailFixture, SaveWritesOnlyWhatWasEdited) {
  StoredAndLoaded({"a@example.com"});
  folder.Write("EmailSubject Hard Disks Fail.txt", "Old subject\r\n");
  center.MailDispatch();
  MailPageModel page;
  center.ShowMailPage(page);

  // Nothing edited: the password block is not rewritten.
  store.key.Erase("ProductID");
  page.kinds[0].subject = "Old subject";
  ASSERT_TRUE(center.SaveMailSettings(page));
  EXPECT_EQ(store.key.Find("ProductID"), nullptr);
  center.MailDispatch();

  // Only the login box: the block comes back with the other switch and the same key byte.
  center.ShowMailPage(page);
  const PasswordBlock before = EncodePasswordBlock("pw", 9, false);
  page.login = true;
  page.host = "typed but no change event";
  page.port = "2525";
  center.EditChanged(kDirtyPort);
  ASSERT_TRUE(center.SaveMailSettings(page));
  const auto& after = store.key.Find("ProductID")->bytes;
  EXPECT_EQ(after[16], 9);
  EXPECT_EQ(after[17], before[17] ^ 1);
  EXPECT_EQ(StoredString("Port"), "2525");
  EXPECT_EQ(StoredString("SMTP"), "mail.example.com");
  center.MailDispatch();
  EXPECT_EQ(center.AuthState(), kAuthLogin);

  // Every recipient removed, the HDD_Fail subject cleared.
  center.ShowMailPage(page);
  page.subPage = kMailSubPageHddFail;
  page.kinds[0].selectedRow = 0;
  center.RemoveRecipient(page);
  page.kinds[0].subject.clear();
  ASSERT_TRUE(center.SaveMailSettings(page));
  EXPECT_EQ(store.key.Find("ToAddrCount")->number, 0u);
  EXPECT_FALSE(folder.Exists("EmailSubject Hard Disks Fail.txt"));

  // A store that refuses writes ends the save with its message.
  store.failWrites = "settings file cannot write /etc/rode-rur/KV_RODE_RUR.reg: Permission denied";
  center.EditChanged(kDirtyHost);
  EXPECT_FALSE(center.SaveMailSettings(page));
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, store.failWrites);
}

TEST_F(MailFixture, RecipientEditingRules) {
  MailPageModel page;
  center.ShowMailPage(page);
  auto add = [&](int subPage, const std::string& text) {
    page.subPage = subPage;
    page.kinds[static_cast<std::size_t>(subPage == 0 ? 0 : subPage - 1)].addAddress = text;
    center.AddRecipient(page);
  };
  add(kMailSubPageSetup, "setup@example.com");  // the Setup page has no list
  add(kMailSubPageHddFail, "no at sign");
  add(kMailSubPageHddFail, "");
  EXPECT_TRUE(page.recipientEditor.empty());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "E-Mail Address formula error!");
  EXPECT_EQ(ui.boxes[0].caption, "E-Mail Message");
  EXPECT_TRUE(page.kinds[0].addAddress.empty());

  // Addresses a server would refuse are refused here, each with its reason.
  const struct {
    std::string address;
    std::string reason;
  } refused[] = {
      {"@", "it has nothing before the @"},
      {"x@", "it has no domain after the @"},
      {"a b@c.example", "it holds a space"},
      {"a@b\x01c", "it holds a control character"},
      {"a..b@example.com", "its part before the @ has a misplaced dot"},
      {"<a@example.com>", "it holds the character < before the @"},
      {"a@-example.com", "a part of its domain begins or ends with -"},
      {"a@exa_mple.com", "its domain holds the character _"},
      {std::string(64, 'l') + "@" + std::string(190, 'd'), "it is 255 bytes long, more than 254"},
  };
  for (const auto& c : refused) {
    add(kMailSubPageHddFail, c.address);
    EXPECT_EQ(ui.boxes.back().text, "The address \"" + c.address + "\" cannot be used: " + c.reason + ".");
  }
  EXPECT_TRUE(page.recipientEditor.empty());

  add(kMailSubPageHddFail, "first+tag@[192.0.2.1]");
  for (int n = 1; n < 10; ++n) add(kMailSubPageDeviceRemove, "r" + std::to_string(n) + "@example.com");
  add(kMailSubPageDeviceRemove, "eleventh@example.com");
  ASSERT_EQ(page.recipientEditor.size(), 10u);
  EXPECT_EQ(page.recipientEditor.front(), "first+tag@[192.0.2.1]");
  EXPECT_EQ(page.kinds[1].addAddress, "eleventh@example.com");  // full: nothing happens
  EXPECT_EQ(page.GridRows()[9], "r9@example.com");

  center.SelectRecipient(page, 2);
  EXPECT_EQ(page.kinds[1].addAddress, "r2@example.com");
  center.RemoveRecipient(page);
  EXPECT_EQ(page.recipientEditor.size(), 9u);
  EXPECT_EQ(page.recipientEditor[2], "r3@example.com");
  EXPECT_EQ(page.GridRows()[9], "");
  center.SelectRecipient(page, 9);
  center.RemoveRecipient(page);  // an empty row
  EXPECT_EQ(page.recipientEditor.size(), 9u);
}

TEST_F(MailFixture, AlarmMailCarriesAlarmHostDescriptionAndUserText) {
  folder.Write("EmailSubject Hard Disks Fail.txt", "Disk alarm\r\nsecond line is ignored\r\n");
  folder.Write("EmailContens Hard Disks Fail.txt", "Replace the disk.\r\nCall 555\r\n");
  StoredAndLoaded({"a@example.com", "  b@example.com "});

  // Alarms before the mail thread looks: none is lost; one mail per kind, in the order raised,
  // the alarms of one kind joined.
  center.RequestAlarm(kAlarmSystemFailure, {"Device2 RAID system fail."});
  center.RequestAlarm(kAlarmDriveFailure, {"Device1 P0 Hard Disk Drive fail.", "Device1 information :"});
  center.RequestAlarm(kAlarmSystemFailure, {"Device3 RAID system fail."});
  clock.advanceMs(kEmailThreadIntervalMs);
  center.EmailThreadTick();
  center.FinishDeliveries();
  ASSERT_EQ(transport.calls.size(), 2u);
  EXPECT_EQ(transport.calls[0].mail.subject, kPrefix + "Device Removed");  // no subject file: the caption
  std::vector<std::string> removed = {"Device2 RAID system fail.", "", "Device3 RAID system fail."};
  removed.insert(removed.end(), info.begin(), info.end());
  EXPECT_EQ(transport.calls[0].mail.body, removed);
  const auto& first = transport.calls[1];
  EXPECT_EQ(first.mail.recipients, (std::vector<std::string>{"a@example.com", "b@example.com"}));
  EXPECT_EQ(first.mail.subject, kPrefix + "Disk alarm");
  std::vector<std::string> body = {"Device1 P0 Hard Disk Drive fail.", "Device1 information :"};
  body.insert(body.end(), info.begin(), info.end());
  body.insert(body.end(), {"Replace the disk.", "Call 555"});
  EXPECT_EQ(first.mail.body, body);
  EXPECT_EQ(first.mail.senderAddress, "alarm@example.com");
  EXPECT_EQ(first.account.host, "mail.example.com");
  EXPECT_EQ(first.account.port, 25);
  EXPECT_FALSE(first.account.login);
  EXPECT_EQ(first.account.timeoutSeconds, 30u);
  EXPECT_EQ(center.MailRequestFlags.load(), 0);
  EXPECT_EQ(center.SmtpState(), kSmtpDisconnected);
  EXPECT_EQ(ui.panelTexts[kMailRequestPanel].back(), "Connect");
  EXPECT_EQ(ui.panelTexts[kMailProgressPanel], (std::vector<std::string>{"Mail is Sending...", "Send mail Success!",
                                                                         "Mail is Sending...", "Send mail Success!"}));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(center.Outbox().empty());

  // A kind without texts and an alarm without a device: prefix alone, host description first.
  center.RequestAlarm(kAlarmSystemFailure, {});
  center.MailDispatch();
  center.FinishDeliveries();
  ASSERT_EQ(transport.calls.size(), 3u);
  EXPECT_EQ(transport.calls[2].mail.subject, kPrefix + "Device Removed");
  EXPECT_EQ(transport.calls[2].mail.body, info);
}

TEST_F(MailFixture, AlarmsThatCannotGoAreDroppedAndFailuresDoNotStopTheMail) {
  // Not loaded yet, then no recipients: dropped without a word.
  center.RequestAlarm(kAlarmDriveFailure, {"x"});
  center.MailDispatch();
  StoredAndLoaded({});
  center.RequestAlarm(kAlarmDriveFailure, {"x"});
  center.MailDispatch();
  EXPECT_TRUE(transport.calls.empty());
  EXPECT_EQ(center.MailRequestFlags.load(), 0);
  EXPECT_TRUE(center.Outbox().empty());

  StoredAndLoaded({"a@example.com"});
  transport.answer = DeliveryResult{false, "Sending mail to mail.example.com port 25 failed: boom.", {}};
  center.RequestAlarm(kAlarmDriveFailure, {"first"});
  center.MailDispatch();
  center.FinishDeliveries();
  EXPECT_FALSE(center.SendingGuard());
  EXPECT_EQ(center.MailRequestFlags.load(), 0);
  EXPECT_EQ(center.LastReport().outcome, MailOutcome::Failed);
  EXPECT_EQ(ui.panelTexts[kMailProgressPanel].back().rfind(
                "Send mail failed: " + transport.answer.error + " The mail stays in the outbox; next attempt at ", 0),
            0u)
      << ui.panelTexts[kMailProgressPanel].back();
  EXPECT_TRUE(ui.boxes.empty());          // an alarm has nobody to click a box
  ASSERT_EQ(center.Outbox().size(), 1u);  // it waits for its next turn
  EXPECT_EQ(center.Outbox()[0].attempts, 1u);
  EXPECT_EQ(center.WaitingNotice(), "1 mail waits in the outbox: " + transport.answer.error);

  // An alarm raised while a delivery runs is composed meanwhile and goes next; the engine never
  // waits for the server.
  transport.answer = DeliveryResult{true, {}, {}};
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  transport.during = [released] { released.wait(); };
  center.RequestAlarm(kAlarmDriveFailure, {"second"});
  center.MailDispatch();
  center.RequestAlarm(kAlarmDriveFailure, {"raised meanwhile"});
  center.MailDispatch();
  EXPECT_EQ(center.MailRequestFlags.load(), 0);
  EXPECT_EQ(center.Outbox().size(), 3u);
  release.set_value();
  center.FinishDeliveries();
  ASSERT_EQ(transport.calls.size(), 3u);
  EXPECT_EQ(transport.calls[1].mail.body.front(), "second");
  EXPECT_EQ(transport.calls[2].mail.body.front(), "raised meanwhile");
  transport.during = nullptr;
  // The failed one goes a minute after its failure.
  clock.advanceMs(60000);
  center.EmailThreadTick();
  center.FinishDeliveries();
  ASSERT_EQ(transport.calls.size(), 4u);
  EXPECT_EQ(transport.calls[3].mail.body.front(), "first");
  EXPECT_TRUE(center.Outbox().empty());
  EXPECT_EQ(center.WaitingNotice(), "");

  // A port that is not a number and a time-out: a clear outcome, no call to the server.
  const struct {
    const char* port;
    const char* timeOut;
    bool sent;
    unsigned seconds;
  } cases[] = {{"abc", "0", false, 0},
               {"70000", "0", false, 0},
               {"", "0", false, 0},
               {"587", "5", true, 5},
               {"587", "x", true, 30}};
  for (const auto& c : cases) {
    store.key.Set("Port", SettingsValue::String(c.port));
    store.key.Set("TimeOut", SettingsValue::String(c.timeOut));
    center.MailRequestFlags |= kMailRequestLoad;
    const std::size_t before = transport.calls.size();
    // The mails that could not even start wait; a mended port takes them at once.
    const std::size_t waiting = center.Outbox().size();
    center.RequestAlarm(kAlarmDriveFailure, {"x"});
    center.MailDispatch();
    center.FinishDeliveries();
    EXPECT_EQ(transport.calls.size() - before, c.sent ? waiting + 1 : 0u) << c.port;
    EXPECT_EQ(center.Outbox().size(), c.sent ? 0u : waiting + 1) << c.port;
    if (c.sent) {
      EXPECT_EQ(transport.calls.back().account.timeoutSeconds, c.seconds);
    } else {
      EXPECT_EQ(center.LastReport().text,
                "The SMTP port \"" + std::string(c.port) + "\" is not a port number (1 to 65535).");
    }
  }
}

TEST_F(MailFixture, ChangedSettingsTryTheOutboxAtOnceAndAFlushCountsWhatItDid) {
  mailtest::ScratchFolder data;
  center.UseOutbox(data.file("outbox"));
  StoredAndLoaded({"a@example.com"});
  transport.answer = DeliveryResult{false, "Sending mail to mail.example.com port 25 failed: refused.", {}};
  center.RequestAlarm(kAlarmDriveFailure, {"first"});
  center.MailDispatch();
  center.FinishDeliveries();
  ASSERT_EQ(center.Outbox().size(), 1u);

  // The settings change while the retry is on its way with the old ones: when it fails, it goes
  // again at once, with the new port, rather than in ten minutes.
  std::promise<void> release, entered;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> held{false};
  transport.during = [released, &entered, &held] {
    if (held.exchange(true)) return;  // the first call only
    entered.set_value();
    released.wait();
  };
  clock.advanceMs(60000);
  center.EmailThreadTick();
  entered.get_future().wait();
  ASSERT_EQ(transport.calls.size(), 2u);
  store.key.Set("Port", SettingsValue::String("587"));
  center.MailRequestFlags |= kMailRequestLoad;
  center.MailDispatch();
  transport.answer = DeliveryResult{true, {}, {}};
  transport.nextAnswers = {DeliveryResult{false, "Sending mail to mail.example.com port 25 failed: refused.", {}}};
  release.set_value();
  center.FinishDeliveries();
  transport.during = nullptr;
  ASSERT_EQ(transport.calls.size(), 3u);
  EXPECT_EQ(transport.calls[2].account.port, 587);
  EXPECT_TRUE(center.Outbox().empty());

  // A flush counts what it did itself: sent, refused for good (the server's 554 to the message's
  // end), and what another sender settled meanwhile (its file gone).
  transport.answer = DeliveryResult{false, "Sending mail to mail.example.com port 587 failed: refused.", {}};
  for (const char* alarm : {"one", "two", "three", "four"}) {
    center.RequestAlarm(kAlarmDriveFailure, {alarm});
    center.MailDispatch();
    center.FinishDeliveries();
  }
  ASSERT_EQ(center.Outbox().size(), 4u);
  const std::string refusal = "a@example.com (554 5.7.1 content refused by policy)";
  DeliveryResult refused{
      false, "The mail server refused the mail: \"554 5.7.1 content refused by policy\".", {refusal}};
  refused.refused = true;
  transport.nextAnswers = {DeliveryResult{true, {}, {}}, refused};
  transport.answer = DeliveryResult{false, "Sending mail to mail.example.com port 587 failed: refused.", {}};
  std::filesystem::remove(std::filesystem::path(data.file("outbox")) / (center.Outbox()[3].id + ".mail"));
  std::vector<std::string> logged;
  center.SetLogSink([&](const std::string& line) { logged.push_back(line); });
  const FlushReport report = center.FlushOutbox();
  EXPECT_EQ(report.tried, 4u);
  EXPECT_EQ(report.sent, 1u);
  EXPECT_EQ(report.refused, 1u);
  EXPECT_EQ(report.settledElsewhere, 1u);
  ASSERT_EQ(center.Outbox().size(), 1u);
  EXPECT_EQ(center.Outbox()[0].body.front(), "three");
  EXPECT_EQ(logged, std::vector<std::string>{"Mail \"" + kPrefix +
                                             "Hard Disks Fail\" refused for a@example.com by the server: "
                                             "\"554 5.7.1 content refused by policy\", "});
  // A refusal for good is not tried again.
  clock.advanceMs(3600000);
  transport.answer = DeliveryResult{true, {}, {}};
  center.EmailThreadTick();
  center.FinishDeliveries();
  EXPECT_TRUE(center.Outbox().empty());
  EXPECT_EQ(transport.calls.back().mail.body.front(), "three");
}

TEST_F(MailFixture, TestMailGoesToTheSenderOnceTheSettingsAreSaved) {
  MailReport report = center.SendTestMail();
  EXPECT_EQ(ui.boxes.back().text, "E-Mail setting isn't ready!");
  StoredAndLoaded({"a@example.com"});
  center.EditChanged(kDirtySenderName);
  report = center.SendTestMail();
  EXPECT_EQ(ui.boxes.back().text, "E-Mail setting was changed, please click \"OK\" or \"Ignore\" button first!");
  EXPECT_EQ(ui.boxes.back().caption, "E-Mail Message");
  EXPECT_TRUE(transport.calls.empty());

  MailPageModel page;
  center.RevertMailSettings(page);
  report = center.SendTestMail();
  EXPECT_EQ(report.outcome, MailOutcome::Sent);
  ASSERT_EQ(transport.calls.size(), 1u);
  EXPECT_EQ(transport.calls[0].mail.recipients, (std::vector<std::string>{"alarm@example.com"}));
  EXPECT_EQ(transport.calls[0].mail.subject, kPrefix + "Mail Teat ");
  EXPECT_EQ(transport.calls[0].mail.body.front(), "[RODE RUR v0.50.11-3] E-Mail test!");
  EXPECT_EQ(transport.calls[0].mail.body.size(), 1 + info.size());
  EXPECT_EQ(ui.boxes.back().text, "Send mail Success!");

  transport.answer = DeliveryResult{false, "The mail server refused every recipient.", {}};
  report = center.SendTestMail();
  EXPECT_EQ(report.outcome, MailOutcome::Failed);
  EXPECT_EQ(ui.boxes.back().text, "The mail server refused every recipient.");
}

// The window that is the service's client fills its page from the service's settings and stores
// an edit as the service's setting calls: every field typed lands in the settings file under the
// name the service takes, and nothing else is sent.
TEST(ServiceMailPage, AnEditedPageIsStoredThroughTheSettingCalls) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("rur-mail-page-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  test::RecordingUi ui;
  VirtualClock clock;
  MailPageModel before;
  FillMailPageFromService({{"SMTP", "old.example.com"}, {"Port", "25"}, {"Login", "0"}, {"EMailSend", "2"}},
                          {"ops@example.com"}, before);
  EXPECT_TRUE(before.kinds[1].suppress);
  EXPECT_EQ(before.recipientEditor, std::vector<std::string>{"ops@example.com"});
  EXPECT_TRUE(MailPageChanges(before, before).empty());

  MailPageModel after = before;
  after.host = "mail.example.com";
  after.port = "587";
  after.senderAddress = "rur@example.com";
  after.account = "rur";
  after.login = true;
  after.implicitTls = "1";
  after.tempAlarm = "50";
  after.kinds[1].suppress = false;
  after.kinds[3].suppress = true;
  const std::vector<MailSettingChange> changes = MailPageChanges(before, after);
  EXPECT_EQ(changes.size(), 8u);
  for (const MailSettingChange& change : changes) {
    const cli::MailChange stored = cli::ChangeMailSetting(folder.string(), ui, clock, change.key, change.value);
    EXPECT_EQ(stored.status, 0) << change.key << "=" << change.value << ": " << stored.text;
  }

  StandaloneMail mail(folder.string(), ui, clock);
  mail.Load();
  MailPageModel loaded;
  mail.center().ShowMailPage(loaded);
  EXPECT_EQ(loaded.host, after.host);
  EXPECT_EQ(loaded.port, after.port);
  EXPECT_EQ(loaded.senderAddress, after.senderAddress);
  EXPECT_EQ(loaded.account, after.account);
  EXPECT_TRUE(loaded.login);
  EXPECT_EQ(loaded.implicitTls, "1");
  EXPECT_EQ(loaded.tempAlarm, "50");
  for (std::size_t i = 0; i < loaded.kinds.size(); ++i) EXPECT_EQ(loaded.kinds[i].suppress, i == 3) << i;
  fs::remove_all(folder);
}

}  // namespace
}  // namespace rur
