// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "notify/ehlo_name.h"
#include "notify/mail_message.h"
#include "notify/mail_settings.h"
#include "notify/mail_test_support.h"
#include "notify/system_info.h"

namespace rur {
namespace {

TEST(SystemInfo, FiveLinesWithTheFirstInterfaceThatHasAddresses) {
  const struct {
    std::vector<InterfaceAddresses> interfaces;
    std::string ip;
  } cases[] = {
      {{}, ""},
      {{{"lo", true, {"127.0.0.1", "::1"}}}, ""},
      {{{"lo", true, {"127.0.0.1"}},
        {"eth0", false, {}},
        {"wlan0", false, {"10.0.0.5", "fe80::2"}},
        {"eth1", false, {"10.1.1.1"}}},
       "10.0.0.5, fe80::2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SystemInfoText(HostFacts{"", "", "", c.interfaces})[3], "\nIP Address  : " + c.ip);
  }
  const auto lines = SystemInfoText(HostFacts{"ACME", "X1", "station", {}});
  EXPECT_EQ(lines, (std::vector<std::string>{"\n=========== [System Information] ==============",
                                             "\nMotherBoard : ACME - X1", "\nSystem Name : station",
                                             "\nIP Address  : ", "\n==============================================="}));
  EXPECT_EQ(SystemInfoMessage({"\na", "\nb"}), "\na\nb");

  // Board facts come from sysfs files; a missing one leaves its value empty.
  mailtest::ScratchFolder dmi;
  dmi.Write("board_vendor", "ACME Corp.  \n");
  const HostFacts facts = CollectHostFacts(dmi.path());
  EXPECT_EQ(facts.boardVendor, "ACME Corp.");
  EXPECT_EQ(facts.boardName, "");
  EXPECT_FALSE(facts.systemName.empty());
}

// The greeting carries ASCII only: other scripts go as IDNA labels, and a name that cannot be a
// host name at all gives way to the connection's address literal.
TEST(EhloName, HostNamesInAnyScriptGreetInAscii) {
  const std::string label63(63, 'a');
  const struct {
    std::string host;
    std::string greeting;
  } cases[] = {
      {"raid-box.example.org", "raid-box.example.org"},
      {"RAID-Box.", "raid-box"},
      {"Bücher.example", "xn--bcher-kva.example"},
      {"ÄÖÜ", "xn--4ca0bs"},
      {"Łódź", "xn--d-uga0v4h"},
      {"Ωmega-σ", "xn--mega--kde0b"},
      {"straße", "xn--strae-oqa"},
      {"Москва.рф", "xn--80adxhks.xn--p1ai"},
      {"例え。テスト", "xn--r8jz45g.xn--zckzah"},
      {label63 + ".example", label63 + ".example"},
      {label63 + "a.example", "[192.0.2.7]"},
      {"my_host", "[192.0.2.7]"},
      {"two words", "[192.0.2.7]"},
      {"-dash", "[192.0.2.7]"},
      {"a..b", "[192.0.2.7]"},
      {"", "[192.0.2.7]"},
      {"caf\xc3", "[192.0.2.7]"},
      {"\xed\xa0\x80", "[192.0.2.7]"},
  };
  for (const auto& c : cases) EXPECT_EQ(EhloName(c.host, AddressLiteral("192.0.2.7")), c.greeting) << c.host;
  EXPECT_EQ(AddressLiteral("2001:db8::7"), "[IPv6:2001:db8::7]");
}

TEST(MailMessage, HeadersCannotBeInjectedAndEveryLineEndsInCrLf) {
  OutgoingMail mail{"Ren\xC3\xA9",
                    "alarm@example.com",
                    {"a@example.com"},
                    "Alarm\r\nBcc: victim@example.com",
                    {"one", "\ntwo\rthree", ""},
                    {},
                    {}};
  const std::string text = ComposeMessage(mail, MessageStamp{"Thu, 07 May 2026 10:00:00 +0200", "<1@example.com>"});
  EXPECT_NE(text.find("\r\nSubject: Alarm  Bcc: victim@example.com\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("From: =?UTF-8?B?UmVuw6k=?= <alarm@example.com>\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\none\r\n\r\ntwo\r\nthree\r\n\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\n\n"), std::string::npos);  // no bare line feed anywhere
  EXPECT_EQ(EncodeHeaderText("Gr\xC3\xBC\xC3\x9F"
                             "e"),
            "=?UTF-8?B?R3LDvMOfZQ==?=");
  EXPECT_EQ(FormatMailbox("A \"B\"", "x@y"), "\"A \\\"B\\\"\" <x@y>");
  EXPECT_EQ(FormatMailbox("", "x@y"), "x@y");
  for (const char* bad : {"", "a b@c", "a@b>\r\nRCPT TO:<c@d", "<a@b>"}) EXPECT_FALSE(IsUsableAddress(bad)) << bad;
  EXPECT_TRUE(IsUsableAddress("@"));

  // The date of a raised alarm, from its local calendar time and zone.
  EXPECT_EQ(MailDateText(LocalDateTime{2026, 5, 7, 10, 0, 0}, 7200), "Thu, 07 May 2026 10:00:00 +0200");
  EXPECT_EQ(MailDateText(LocalDateTime{1969, 12, 31, 23, 59, 59}, -5400), "Wed, 31 Dec 1969 23:59:59 -0130");

  // A line too long for SMTP: quoted-printable, short lines, the same text once decoded.
  std::string longLine;
  for (int i = 0; i < 1000; ++i) longLine += i % 7 == 0 ? "\xC3\xA9" : (i % 5 == 0 ? "= " : "x");
  longLine += " ";
  mail.body = {"short", longLine, "tail"};
  const std::string encoded = ComposeMessage(mail, MessageStamp{"Thu, 07 May 2026 10:00:00 +0200", "<1@x>"});
  EXPECT_NE(encoded.find("\r\nContent-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
  const std::string body = encoded.substr(encoded.find("\r\n\r\n") + 4);
  std::string decoded;
  for (std::size_t i = 0, column = 0; i < body.size(); ++i, ++column) {
    if (body.compare(i, 2, "\r\n") == 0) column = 0;
    ASSERT_LE(column, 76u) << "line too long";
    if (body[i] != '=') {
      decoded += body[i];
    } else if (body.compare(i + 1, 2, "\r\n") == 0) {
      i += 2;  // a soft line break
      column = 0;
    } else {
      decoded += static_cast<char>(std::stoi(body.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  EXPECT_EQ(decoded, "short\r\n" + longLine + "\r\ntail\r\n");

  EXPECT_EQ(SplitTextLines("a\r\nb\n\r\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitTextLines(""), std::vector<std::string>{});
  EXPECT_EQ(RecipientValueName(9), "ToAddr_09");
  EXPECT_EQ(ContentsFileName(2), "EmailContens Device Removed.txt");
}

}  // namespace
}  // namespace rur
