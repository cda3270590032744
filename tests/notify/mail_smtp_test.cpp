// SPDX-License-Identifier: GPL-3.0-or-later
// The mail as a real SMTP server receives it: aiosmtpd on 127.0.0.1, run by the system Python.

#include <gtest/gtest.h>

#include <chrono>

#include "notify/curl_mail_transport.h"
#include "notify/mail_center.h"
#include "notify/mail_test_support.h"
#include "notify/smtp_sink.h"
#include "notify/system_info.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

using mailtest::SmtpSink;

// An application password longer than the classic stored block holds.
constexpr std::string_view kPassword = "S3cret pass for alarms";

struct SmtpFixture : ::testing::Test {
  void SetUp() override {
    if (!SmtpSink::Available())
      GTEST_SKIP() << "/usr/bin/python3 cannot import aiosmtpd (Debian package python3-aiosmtpd)";
  }

  mailtest::ScratchFolder folder;
  MemorySettingsStore store;
  test::RecordingUi ui;
  VirtualClock clock;
  CurlMailTransport transport;
  std::vector<std::string> info =
      SystemInfoText(HostFacts{"ACME", "X1", "station", {{"eth0", false, {"192.0.2.7", "fe80::1"}}}});
  MailCenter center{store, ui, clock, transport, folder.slashed(), info};

  // Points the stored settings at a server and loads them.
  void UseServer(std::uint16_t port, std::vector<std::string> recipients, bool login = false,
                 const std::string& timeOut = "2", bool allowPlainLogin = false, const std::string& caFile = {},
                 const std::string& account = "alarm-account") {
    store.keyExists = true;
    store.key.Set("Port", SettingsValue::String(std::to_string(port)));
    store.key.Set("SMTP", SettingsValue::String("127.0.0.1"));
    store.key.Set("UserName", SettingsValue::String("RODE RUR Alarm"));
    store.key.Set("Addr", SettingsValue::String("alarm@example.com"));
    store.key.Set("UserID", SettingsValue::String(account));
    store.key.Set("TimeOut", SettingsValue::String(timeOut));
    const PasswordBlock block = EncodePasswordBlock(kPassword, 0x21, login);
    store.key.Set("ProductID", SettingsValue::Binary({block.begin(), block.end()}));
    store.key.Set("EMailSend", SettingsValue::Integer(0));
    store.key.Set("ToAddrCount", SettingsValue::Integer(static_cast<std::uint32_t>(recipients.size())));
    for (std::size_t n = 0; n < recipients.size(); ++n)
      store.key.Set(RecipientValueName(n), SettingsValue::String(recipients[n]));
    store.key.Set("FilePath", SettingsValue::String(folder.slashed()));
    store.key.Set("AllowPlainLogin", SettingsValue::Integer(allowPlainLogin ? 1 : 0));
    store.key.Set("CAFile", SettingsValue::String(caFile));
    center.MailRequestFlags |= kMailRequestLoad;
    center.MailDispatch();
    ASSERT_TRUE(center.SettingsLoaded());
  }

  void RaiseDriveAlarm() {
    center.RequestAlarm(kAlarmDriveFailure, {"Device1 P0 Hard Disk Drive fail.", "Device1 information :",
                                             "Model# RAID Box", "Mirroring(RAID1), F/W Rev. 1.02"});
    center.MailDispatch();
    center.FinishDeliveries();
  }
};

TEST_F(SmtpFixture, AlarmArrivesAtEveryRecipientWithItsSubjectAndBody) {
  SmtpSink sink;
  ASSERT_NE(sink.port(), 0);
  folder.Write("EmailSubject Hard Disks Fail.txt", "Disk failure in the server room\r\n");
  folder.Write("EmailContens Hard Disks Fail.txt",
               "Replace the disk.\r\n.\r\nGr\xC3\xBC\xC3\x9F"
               "e\r\n");
  UseServer(sink.port(), {"ops@example.com", "boss@example.org"});
  RaiseDriveAlarm();

  ASSERT_EQ(center.LastReport().outcome, MailOutcome::Sent) << center.LastReport().text;
  const auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u);
  const auto& mail = mails[0];
  EXPECT_EQ(mail.mailFrom, "alarm@example.com");
  EXPECT_EQ(mail.recipients, (std::vector<std::string>{"ops@example.com", "boss@example.org"}));
  EXPECT_EQ(mail.Header("Subject"), "[RODE RUR v0.50.11-3 Message] Disk failure in the server room");
  EXPECT_EQ(mail.Header("From"), "\"RODE RUR Alarm\" <alarm@example.com>");
  EXPECT_EQ(mail.Header("Content-Type"), "text/plain; charset=UTF-8");
  EXPECT_FALSE(mail.Header("Date").empty());
  EXPECT_FALSE(mail.Header("Message-ID").empty());
  EXPECT_EQ(mail.BodyLines(),
            (std::vector<std::string>{"Device1 P0 Hard Disk Drive fail.", "Device1 information :", "Model# RAID Box",
                                      "Mirroring(RAID1), F/W Rev. 1.02", "",
                                      "=========== [System Information] ==============", "", "MotherBoard : ACME - X1",
                                      "", "System Name : station", "", "IP Address  : 192.0.2.7, fe80::1", "",
                                      "===============================================", "Replace the disk.", ".",
                                      "Gr\xC3\xBC\xC3\x9F"
                                      "e"}));
  EXPECT_TRUE(sink.Logins().empty());  // login off: no AUTH at all
  EXPECT_EQ(ui.panelTexts[kMailProgressPanel], (std::vector<std::string>{"Mail is Sending...", "Send mail Success!"}));
  EXPECT_EQ(center.SmtpState(), kSmtpDisconnected);
}

TEST_F(SmtpFixture, LoginUsesTheServersMechanismOnlyOverTlsUnlessAllowedAndTheTestMailGoesToTheSenderOnly) {
  // A server without STARTTLS: the password is not sent; the test mail says why, the alarm waits.
  SmtpSink sink(SmtpSink::Mode::Auth);
  ASSERT_NE(sink.port(), 0);
  UseServer(sink.port(), {"ops@example.com"}, true);
  MailReport report = center.SendTestMail();
  EXPECT_EQ(report.outcome, MailOutcome::Failed);
  EXPECT_EQ(report.text, "the server offers no encryption; the password would be sent in clear");
  EXPECT_EQ(ui.boxes.back().text, report.text);
  RaiseDriveAlarm();
  ASSERT_EQ(center.Outbox().size(), 1u);
  EXPECT_EQ(center.Outbox()[0].lastError, report.text);
  EXPECT_TRUE(sink.Logins().empty());
  EXPECT_TRUE(sink.Mails().empty());

  // The user allows it: the login in clear, PLAIN as the first the server offers. The waiting
  // alarm goes at once with the changed settings, and the test mail after it.
  UseServer(sink.port(), {"ops@example.com"}, true, "2", true);
  report = center.SendTestMail();
  ASSERT_EQ(report.outcome, MailOutcome::Sent) << report.text;
  EXPECT_EQ(ui.boxes.back().text, "Send mail Success!");
  EXPECT_TRUE(center.Outbox().empty());

  const auto logins = sink.Logins();
  ASSERT_EQ(logins.size(), 2u);
  EXPECT_EQ(logins[1].mechanism, "PLAIN");
  EXPECT_EQ(logins[1].login, "alarm-account");
  EXPECT_EQ(logins[1].password, kPassword);
  EXPECT_FALSE(logins[1].tls);
  const auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"ops@example.com"}));
  EXPECT_EQ(mails[0].BodyLines().front(), "Device1 P0 Hard Disk Drive fail.");
  EXPECT_EQ(mails[1].recipients, (std::vector<std::string>{"alarm@example.com"}));
  EXPECT_EQ(mails[1].Header("Subject"), "[RODE RUR v0.50.11-3 Message] Mail Teat ");
  EXPECT_EQ(mails[1].BodyLines().front(), "[RODE RUR v0.50.11-3] E-Mail test!");

  // The same server without login: it insists on one, and the user is told.
  UseServer(sink.port(), {"ops@example.com"}, false);
  EXPECT_EQ(center.SendTestMail().outcome, MailOutcome::Failed);
  EXPECT_EQ(ui.boxes.back().caption, "E-Mail Message");
  EXPECT_EQ(sink.Mails().size(), 2u);

  // STARTTLS with a certificate from a CA the system does not know: refused until "CAFile" names
  // it; then the login comes after TLS, with PLAIN (the only mechanism offered), the sender
  // address's local part for the empty account and the whole password, and the alarm goes.
  SmtpSink secure(SmtpSink::Mode::StartTls);
  ASSERT_NE(secure.port(), 0);
  UseServer(secure.port(), {"ops@example.com"}, true);
  RaiseDriveAlarm();
  EXPECT_EQ(center.LastReport().outcome, MailOutcome::Failed);
  EXPECT_NE(center.LastReport().text.find("could not be verified"), std::string::npos) << center.LastReport().text;
  EXPECT_TRUE(secure.Logins().empty());
  UseServer(secure.port(), {"ops@example.com"}, true, "2", false, secure.CaFile(), "");
  center.FinishDeliveries();
  ASSERT_EQ(center.LastReport().outcome, MailOutcome::Sent) << center.LastReport().text;
  EXPECT_TRUE(center.Outbox().empty());
  ASSERT_EQ(secure.Logins().size(), 1u);
  EXPECT_TRUE(secure.Logins()[0].tls);
  EXPECT_EQ(secure.Logins()[0].mechanism, "PLAIN");
  EXPECT_EQ(secure.Logins()[0].login, "alarm");
  EXPECT_EQ(secure.Logins()[0].password, kPassword);
  ASSERT_EQ(secure.Mails().size(), 1u);
  EXPECT_EQ(secure.Mails()[0].BodyLines().front(), "Device1 P0 Hard Disk Drive fail.");
}

TEST_F(SmtpFixture, AnUndeliveredAlarmIsRetriedUntilTheServerIsBackOrThreeDaysHavePassed) {
  const std::uint16_t port = SmtpSink::ClosedPort();
  UseServer(port, {"ops@example.com"});
  std::vector<std::string> logged;
  center.SetLogSink([&](const std::string& line) { logged.push_back(line); });
  RaiseDriveAlarm();
  ASSERT_EQ(center.Outbox().size(), 1u);
  EXPECT_NE(center.WaitingNotice().find("1 mail waits in the outbox: Sending mail to 127.0.0.1 port"),
            std::string::npos)
      << center.WaitingNotice();
  EXPECT_EQ(ui.mailNotices.back(), center.WaitingNotice());

  // Back half a minute later: nothing yet, the first retry is a minute after the failure.
  SmtpSink sink(SmtpSink::Mode::Normal, {}, port);
  ASSERT_EQ(sink.port(), port);
  clock.advanceMs(30000);
  center.EmailThreadTick();
  center.FinishDeliveries();
  EXPECT_TRUE(sink.Mails().empty());
  clock.advanceMs(30000);
  center.EmailThreadTick();
  center.FinishDeliveries();
  ASSERT_EQ(sink.Mails().size(), 1u);
  EXPECT_EQ(sink.Mails()[0].BodyLines().front(), "Device1 P0 Hard Disk Drive fail.");
  EXPECT_TRUE(center.Outbox().empty());
  EXPECT_EQ(ui.mailNotices.back(), "");

  // A mended setting does not wait for the schedule: the mail goes as the settings are loaded.
  UseServer(SmtpSink::ClosedPort(), {"ops@example.com"});
  RaiseDriveAlarm();
  ASSERT_EQ(center.Outbox().size(), 1u);
  UseServer(sink.port(), {"ops@example.com"});
  center.FinishDeliveries();
  EXPECT_TRUE(center.Outbox().empty());
  EXPECT_EQ(sink.Mails().size(), 2u);

  // A server that never comes back: tried with growing delays, given up after three days.
  UseServer(SmtpSink::ClosedPort(), {"ops@example.com"});
  RaiseDriveAlarm();
  std::vector<std::uint64_t> attemptsAt;
  for (int minute = 1; minute <= 3 * 24 * 60 + 60 && !center.Outbox().empty(); ++minute) {
    const unsigned before = center.Outbox()[0].attempts;
    clock.advanceMs(60000);
    center.EmailThreadTick();
    center.FinishDeliveries();
    if (center.Outbox().empty() || center.Outbox()[0].attempts != before) attemptsAt.push_back(minute);
  }
  ASSERT_GE(attemptsAt.size(), 5u);
  EXPECT_EQ(std::vector<std::uint64_t>(attemptsAt.begin(), attemptsAt.begin() + 5),
            (std::vector<std::uint64_t>{1, 3, 8, 18, 48}));
  EXPECT_GE(attemptsAt.back(), 3u * 24 * 60);
  EXPECT_LE(attemptsAt.back(), 3u * 24 * 60 + 60);
  EXPECT_TRUE(center.Outbox().empty());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(
      logged[0].rfind("Mail \"[RODE RUR v0.50.11-3 Message] Hard Disks Fail\" to ops@example.com given up after ", 0),
      0u)
      << logged[0];
  EXPECT_EQ(sink.Mails().size(), 2u);
}

TEST_F(SmtpFixture, BrokenServersEndInTimeWithAClearOutcomeAndTheNextAlarmStillGoes) {
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };

  UseServer(SmtpSink::ClosedPort(), {"ops@example.com"});
  auto start = Clock::now();
  RaiseDriveAlarm();
  EXPECT_EQ(center.LastReport().outcome, MailOutcome::Failed);
  EXPECT_NE(center.LastReport().text.find("Sending mail to 127.0.0.1 port"), std::string::npos)
      << center.LastReport().text;
  EXPECT_LT(seconds(start), 2.0);

  SmtpSink silent(SmtpSink::Mode::Silent);
  UseServer(silent.port(), {"ops@example.com"}, false, "1");
  start = Clock::now();
  RaiseDriveAlarm();
  EXPECT_EQ(center.LastReport().text,
            "The mail server 127.0.0.1 port " + std::to_string(silent.port()) + " did not answer within 1 s.");
  EXPECT_LT(seconds(start), 3.5);
  EXPECT_GT(ui.pumps, 0);  // the window stayed alive meanwhile

  // A greeting that is no SMTP reply is called what it is, without waiting for the time-out.
  SmtpSink garbled(SmtpSink::Mode::Garbled);
  UseServer(garbled.port(), {"ops@example.com"}, false, "20");
  start = Clock::now();
  RaiseDriveAlarm();
  EXPECT_EQ(center.LastReport().text, "The mail server 127.0.0.1 port " + std::to_string(garbled.port()) +
                                          " sent a malformed reply: \"2x0 ready\".");
  EXPECT_LT(seconds(start), 5.0);

  // A server that stalls after DATA: the dispatch returns at once, the transfer ends within its
  // time-out and the mail waits in the outbox.
  SmtpSink stalling(SmtpSink::Mode::Stall);
  UseServer(stalling.port(), {"ops@example.com"}, false, "2");
  const std::size_t waiting = center.Outbox().size();
  start = Clock::now();
  center.RequestAlarm(kAlarmDriveFailure, {"Device1 P1 Hard Disk Drive fail."});
  center.MailDispatch();
  EXPECT_LT(seconds(start), 0.5);
  center.FinishDeliveries();
  EXPECT_LT(seconds(start), 3.5);
  EXPECT_EQ(center.LastReport().text.rfind(
                "The mail server 127.0.0.1 port " + std::to_string(stalling.port()) + " did not answer within 2 s.", 0),
            0u);
  EXPECT_NE(center.LastReport().text.find("its outcome is unknown"), std::string::npos);
  EXPECT_EQ(center.Outbox().size(), waiting + 1);
  EXPECT_TRUE(stalling.Mails().empty());

  // A working server set at last takes every waiting mail at once.
  SmtpSink working;
  UseServer(working.port(), {"ops@example.com"});
  center.FinishDeliveries();
  EXPECT_TRUE(center.Outbox().empty());
  EXPECT_EQ(working.Mails().size(), waiting + 1);

  // Refusals in the server's words. A 5xx to the message's end or to every recipient is final:
  // the day log names each recipient and the mail is not tried again. A 4xx there and a 421
  // greeting are refusals for now: the mail waits for its next turn.
  std::vector<std::string> logged;
  center.SetLogSink([&](const std::string& line) { logged.push_back(line); });
  const std::string alarmSubject = "Mail \"[RODE RUR v0.50.11-3 Message] Hard Disks Fail\" refused for ";
  const struct {
    SmtpSink::Mode mode;
    const char* reply;
    const char* recipient;
    const char* said;
    bool kept;
  } refusals[] = {
      {SmtpSink::Mode::RefuseData, "554 5.7.1 content refused by policy", "ops@example.com",
       "refused the mail: \"554 5.7.1 content refused by policy\".", false},
      {SmtpSink::Mode::Reject, "", "gone@example.com",
       "refused every recipient: gone@example.com (550 5.1.1 No such user here).", false},
      {SmtpSink::Mode::RefuseData, "451 4.7.1 Greylisted, try again later", "ops@example.com",
       "refused the mail for now, a temporary refusal: \"451 4.7.1 Greylisted, try again later\".", true},
      {SmtpSink::Mode::Busy, "", "ops@example.com",
       "refused the session for now, a temporary refusal: \"421 4.3.2 Service busy, try again later\".", true},
  };
  for (const auto& refusal : refusals) {
    SmtpSink server(refusal.mode, "gone@example.com", 0, refusal.reply);
    UseServer(server.port(), {refusal.recipient});
    center.FinishDeliveries();
    const std::size_t before = center.Outbox().size();
    logged.clear();
    RaiseDriveAlarm();
    EXPECT_EQ(center.LastReport().text,
              "The mail server 127.0.0.1 port " + std::to_string(server.port()) + " " + refusal.said);
    EXPECT_EQ(center.Outbox().size(), before + (refusal.kept ? 1 : 0)) << refusal.said;
    if (refusal.kept) {
      EXPECT_TRUE(logged.empty()) << logged.front();
    } else {
      const std::string reply = refusal.mode == SmtpSink::Mode::Reject ? "550 5.1.1 No such user here" : refusal.reply;
      EXPECT_EQ(logged,
                std::vector<std::string>{alarmSubject + refusal.recipient + " by the server: \"" + reply + "\", "});
    }
    EXPECT_TRUE(server.Mails().empty());
  }

  // One recipient refused for good: the other gets the mail, the refusal goes to the day log.
  SmtpSink picky(SmtpSink::Mode::Reject, "gone@example.com");
  UseServer(picky.port(), {"gone@example.com", "ops@example.com"});
  center.FinishDeliveries();
  logged.clear();
  const std::size_t queuedBefore = center.Outbox().size();
  RaiseDriveAlarm();
  EXPECT_EQ(center.Outbox().size(), queuedBefore);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0],
            "Mail \"[RODE RUR v0.50.11-3 Message] Hard Disks Fail\" refused for gone@example.com by the "
            "server: \"550 5.1.1 No such user here\", ");
  EXPECT_EQ(center.LastReport().outcome, MailOutcome::Sent);
  ASSERT_EQ(center.LastReport().rejected.size(), 1u);
  EXPECT_EQ(center.LastReport().rejected[0], "gone@example.com (550 5.1.1 No such user here)");
  // The two mails refused for now went first, to their one recipient.
  ASSERT_EQ(picky.Mails().size(), 3u);
  EXPECT_EQ(picky.Mails()[2].recipients, (std::vector<std::string>{"ops@example.com"}));

  EXPECT_FALSE(center.SendingGuard());
  EXPECT_EQ(center.MailRequestFlags.load(), 0);
  SmtpSink healthy;
  UseServer(healthy.port(), {"ops@example.com"});
  RaiseDriveAlarm();
  EXPECT_EQ(center.LastReport().outcome, MailOutcome::Sent);
  EXPECT_EQ(healthy.Mails().size(), 1u);
}

}  // namespace
}  // namespace rur
