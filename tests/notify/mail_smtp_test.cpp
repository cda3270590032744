// SPDX-License-Identifier: GPL-3.0-or-later
// The mail as a real SMTP server receives it: aiosmtpd on 127.0.0.1, run by the system Python.

#include <gtest/gtest.h>

#include <chrono>

#include "notify/curl_mail_transport.h"
#include "notify/mail_center.h"
#include "notify/mail_test_support.h"
#include "notify/smtp_sink.h"
#include "notify/system_info.h"

namespace rur {
namespace {

using mailtest::SmtpSink;

struct SmtpFixture : ::testing::Test {
  void SetUp() override {
    if (!SmtpSink::Available())
      GTEST_SKIP() << "/usr/bin/python3 cannot import aiosmtpd (Debian package python3-aiosmtpd)";
  }

  mailtest::ScratchFolder folder;
  MemorySettingsStore store;
  mailtest::RecordingUi ui;
  VirtualClock clock;
  CurlMailTransport transport;
  std::vector<std::string> info =
      SystemInfoText(HostFacts{"ACME", "X1", "station", {{"eth0", false, {"192.0.2.7", "fe80::1"}}}});
  MailCenter center{store, ui, clock, transport, folder.slashed(), info};

  // Points the stored settings at a server and loads them.
  void UseServer(std::uint16_t port, std::vector<std::string> recipients, bool login = false,
                 const std::string& timeOut = "2") {
    store.keyExists = true;
    store.key.Set("Port", SettingsValue::String(std::to_string(port)));
    store.key.Set("SMTP", SettingsValue::String("127.0.0.1"));
    store.key.Set("UserName", SettingsValue::String("RODE RUR Alarm"));
    store.key.Set("Addr", SettingsValue::String("alarm@example.com"));
    store.key.Set("UserID", SettingsValue::String("alarm-account"));
    store.key.Set("TimeOut", SettingsValue::String(timeOut));
    const PasswordBlock block = EncodePasswordBlock("S3cret pass", 0x21, login);
    store.key.Set("ProductID", SettingsValue::Binary({block.begin(), block.end()}));
    store.key.Set("EMailSend", SettingsValue::Integer(0));
    store.key.Set("ToAddrCount", SettingsValue::Integer(static_cast<std::uint32_t>(recipients.size())));
    for (std::size_t n = 0; n < recipients.size(); ++n)
      store.key.Set(RecipientValueName(n), SettingsValue::String(recipients[n]));
    store.key.Set("FilePath", SettingsValue::String(folder.slashed()));
    center.MailRequestFlags |= kMailRequestLoad;
    center.MailDispatch();
    ASSERT_TRUE(center.SettingsLoaded());
  }

  void RaiseDriveAlarm() {
    center.RequestAlarm(kAlarmDriveFailure, {"Device1 P0 Hard Disk Drive fail.", "Device1 information :",
                                             "Model# RAID Box", "Mirroring(RAID1), F/W Rev. 1.02"});
    center.MailDispatch();
  }
};

TEST_F(SmtpFixture, AlarmArrivesAtEveryRecipientWithItsSubjectAndBody) {
  SmtpSink sink;
  ASSERT_NE(sink.port(), 0);
  folder.Write("EmailSubject Hard Disks Fail.txt", "Disk failure in the server room\r\n");
  folder.Write("EmailContens Hard Disks Fail.txt", "Replace the disk.\r\n.\r\nGr\xC3\xBC\xC3\x9F" "e\r\n");
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
                                      "=========== [System Information] ==============", "",
                                      "MotherBoard : ACME - X1", "", "System Name : station", "",
                                      "IP Address  : 192.0.2.7, fe80::1", "",
                                      "===============================================", "Replace the disk.", ".",
                                      "Gr\xC3\xBC\xC3\x9F" "e"}));
  EXPECT_TRUE(sink.Logins().empty());  // login off: no AUTH at all
  EXPECT_EQ(ui.PanelTexts(kMailProgressPanel),
            (std::vector<std::string>{"Mail is Sending...", "Send mail Success!"}));
  EXPECT_EQ(center.SmtpState(), kSmtpDisconnected);
}

TEST_F(SmtpFixture, LoginUsesAuthLoginAndTheTestMailGoesToTheSenderOnly) {
  SmtpSink sink(SmtpSink::Mode::Auth);
  ASSERT_NE(sink.port(), 0);
  UseServer(sink.port(), {"ops@example.com"}, true);
  const MailReport report = center.SendTestMail();
  ASSERT_EQ(report.outcome, MailOutcome::Sent) << report.text;
  EXPECT_EQ(ui.boxes.back().text, "Send mail Success!");

  const auto logins = sink.Logins();
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].mechanism, "LOGIN");
  EXPECT_EQ(logins[0].login, "alarm-account");
  EXPECT_EQ(logins[0].password, "S3cret pass");
  const auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"alarm@example.com"}));
  EXPECT_EQ(mails[0].Header("Subject"), "[RODE RUR v0.50.11-3 Message] Mail Teat ");
  EXPECT_EQ(mails[0].BodyLines().front(), "[RODE RUR v0.50.11-3] E-Mail test!");

  // The same server without login: it insists on one, and the user is told.
  UseServer(sink.port(), {"ops@example.com"}, false);
  EXPECT_EQ(center.SendTestMail().outcome, MailOutcome::Failed);
  EXPECT_EQ(ui.boxes.back().caption, "E-Mail Message");
  EXPECT_EQ(sink.Mails().size(), 1u);
}

TEST_F(SmtpFixture, BrokenServersEndInTimeWithAClearOutcomeAndTheNextAlarmStillGoes) {
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
  };

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
  EXPECT_EQ(center.LastReport().text, "The mail server 127.0.0.1 port " + std::to_string(silent.port()) +
                                          " did not answer within 1 s.");
  EXPECT_LT(seconds(start), 3.5);
  EXPECT_GT(ui.pumps, 0);  // the window stayed alive meanwhile

  SmtpSink picky(SmtpSink::Mode::Reject, "gone@example.com");
  UseServer(picky.port(), {"gone@example.com", "ops@example.com"});
  RaiseDriveAlarm();
  EXPECT_EQ(center.LastReport().outcome, MailOutcome::Sent);
  ASSERT_EQ(center.LastReport().rejected.size(), 1u);
  EXPECT_EQ(center.LastReport().rejected[0], "gone@example.com (550 5.1.1 No such user here)");
  ASSERT_EQ(picky.Mails().size(), 1u);
  EXPECT_EQ(picky.Mails()[0].recipients, (std::vector<std::string>{"ops@example.com"}));

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
