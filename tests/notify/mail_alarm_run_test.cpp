// SPDX-License-Identifier: GPL-3.0-or-later
// A whole simulated run: a member pulled from the demo enclosure raises a drive-failure alarm,
// and the mail arrives at a real SMTP server.

#include <gtest/gtest.h>

#include "app/program.h"
#include "notify/mail_center.h"
#include "notify/mail_test_support.h"
#include "notify/smtp_sink.h"

namespace rur {
namespace {

using mailtest::SmtpSink;

// Runs the demo scenario (HDD2 of drive 1 is pulled at 30 s) for 40 s of virtual time with the
// given suppress mask stored.
void RunDemoWithMailTo(const SmtpSink& sink, std::uint32_t suppressMask) {
  mailtest::ScratchFolder data;
  data.Write("KV_RODE_RUR.reg", "[SOFTWARE\\KV_RODE_RUR]\n"
                                "\"Port\"=\"" + std::to_string(sink.port()) + "\"\n"
                                "\"SMTP\"=\"127.0.0.1\"\n"
                                "\"UserName\"=\"Server room\"\n"
                                "\"Addr\"=\"rur@example.com\"\n"
                                "\"TimeOut\"=\"2\"\n"
                                "\"EMailSend\"=dword:" + std::to_string(suppressMask) + "\n"
                                "\"ToAddrCount\"=dword:00000002\n"
                                "\"ToAddr_00\"=\"ops@example.com\"\n"
                                "\"ToAddr_01\"=\"boss@example.org\"\n");
  data.Write("EmailSubject Hard Disks Fail.txt", "Member disk lost\r\n");
  data.Write("EmailContens Hard Disks Fail.txt", "Swap the disk in bay 2.\r\n");

  mailtest::RecordingUi ui;
  ProgramOptions options;
  options.simulate = true;
  options.virtualTime = true;
  options.dataDir = data.path();
  Program program;
  std::string error;
  ASSERT_TRUE(program.Open(options, ui, error)) << error;
  program.Start();
  program.engine().RunFor(40000);
  EXPECT_FALSE(program.mail().SendingGuard());
  EXPECT_EQ(program.mail().MailRequestFlags.load(), 0);
}

TEST(MailAlarmRun, PulledMemberMailsEveryRecipientUnlessTheKindIsSuppressed) {
  if (!SmtpSink::Available()) GTEST_SKIP() << "/usr/bin/python3 cannot import aiosmtpd (python3-aiosmtpd)";
  SmtpSink sink;
  ASSERT_NE(sink.port(), 0);

  RunDemoWithMailTo(sink, 0x01);
  EXPECT_TRUE(sink.Mails().empty());

  RunDemoWithMailTo(sink, 0x02);
  const auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"ops@example.com", "boss@example.org"}));
  EXPECT_EQ(mails[0].Header("Subject"), "[RODE RUR v0.50.11-3 Message] Member disk lost");
  const auto body = mails[0].BodyLines();
  ASSERT_GE(body.size(), 3u);
  EXPECT_EQ(body[0], "Device1 P1 Hard Disk Drive fail.");
  EXPECT_EQ(body[1], "Device1 information :");
  const auto info = std::find(body.begin(), body.end(), "=========== [System Information] ==============");
  ASSERT_NE(info, body.end());
  EXPECT_NE(std::find(body.begin(), info, "  HDD2 is absent. "), info);
  EXPECT_EQ(body.back(), "Swap the disk in bay 2.");
}

}  // namespace
}  // namespace rur
