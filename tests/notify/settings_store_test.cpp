// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "notify/mail_test_support.h"
#include "notify/password_block.h"
#include "notify/reg_file_store.h"

namespace rur {
namespace {

TEST(RegFileSettingsStore, ValuesSurviveTheFileWithAwkwardTextAndOwnerOnlyMode) {
  mailtest::ScratchFolder folder;
  const std::string path = SettingsFilePath(folder.path() + "/nested");
  EXPECT_EQ(path, folder.path() + "/nested/KV_RODE_RUR.reg");
  EXPECT_EQ(DefaultMailFolder(path), folder.path() + "/nested/");
  EXPECT_EQ(SettingsFilePath(""), "/etc/rode-rur/KV_RODE_RUR.reg");

  RegFileSettingsStore store(path);
  bool exists = true;
  ASSERT_TRUE(store.KeyExists(exists).ok());
  EXPECT_FALSE(exists);  // no file, no key
  std::string text;
  EXPECT_TRUE(store.ReadString("Port", text).missing());

  const std::string awkward = "C:\\mail \"quoted\"\r\nnext line\t\x01 \xC3\xA9t\xC3\xA9";
  const std::vector<std::uint8_t> bytes = {0x00, 0xFF, 0x1F, 0x80};
  ASSERT_TRUE(store.WriteString("SMTP", awkward).ok());
  ASSERT_TRUE(store.WriteInteger("EMailSend", 0xA5000001).ok());
  ASSERT_TRUE(store.WriteBinary("ProductID", bytes).ok());
  ASSERT_TRUE(store.WriteString("Port", "25").ok());

  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_NE(folder.Read("nested/KV_RODE_RUR.reg").find("[SOFTWARE\\KV_RODE_RUR]\n"), std::string::npos);

  RegFileSettingsStore reopened(path);
  std::uint32_t number = 0;
  std::vector<std::uint8_t> readBytes;
  ASSERT_TRUE(reopened.ReadString("smtp", text).ok());  // names ignore case, as in the registry
  EXPECT_EQ(text, awkward);
  ASSERT_TRUE(reopened.ReadInteger("EMailSend", number).ok());
  EXPECT_EQ(number, 0xA5000001u);
  ASSERT_TRUE(reopened.ReadBinary("ProductID", readBytes).ok());
  EXPECT_EQ(readBytes, bytes);
  EXPECT_TRUE(reopened.ReadInteger("Port", number).failed());  // a string is not an integer

  std::vector<std::string> names;
  ASSERT_TRUE(reopened.DeleteValue("SMTP").ok());
  EXPECT_TRUE(reopened.DeleteValue("SMTP").missing());
  ASSERT_TRUE(reopened.ValueNames(names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"EMailSend", "ProductID", "Port"}));
}

TEST(RegFileSettingsStore, AcceptsHandWrittenExportsAndRefusesToOverwriteWhatDoesNotParse) {
  SettingsKey key;
  std::string error;
  ASSERT_TRUE(
      ParseSettingsText("Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KV_RODE_RUR]\r\n"
                        "; a comment\r\n"
                        "\"ProductID\"=hex:01,02,\\\r\n  03,04\r\n"
                        "\"ToAddrCount\"=dword:2\r\n",
                        key, error))
      << error;
  ASSERT_NE(key.Find("ProductID"), nullptr);
  EXPECT_EQ(key.Find("ProductID")->bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(key.Find("ToAddrCount")->number, 2u);

  const struct {
    const char* text;
    const char* error;
  } broken[] = {
      {"\"Port\"=\"25\"\n", "line 1: a value before the key header"},
      {"[SOFTWARE\\KV_RODE_RUR]\n\"Port\"=\"25\n", "line 2: value \"Port\": quoted text has no closing quote"},
      {"[SOFTWARE\\KV_RODE_RUR]\n\n\"EMailSend\"=dword:123456789\n", "line 3: value \"EMailSend\": dword"},
      {"[SOFTWARE\\KV_RODE_RUR]\n\"ProductID\"=hex:1,02\n", "line 2: value \"ProductID\": \"1\" is not a byte"},
      {"[SOFTWARE\\Other]\n", "line 1: [SOFTWARE\\Other] is not the key"},
      {"[SOFTWARE\\KV_RODE_RUR]\n\"ProductID\"=hex:01,\\\n", "line 2: the file ends inside a hex value"},
      {"[SOFTWARE\\KV_RODE_RUR]\n\"Port\"=25\n", "line 2: value \"Port\": a value must be"},
  };
  for (const auto& c : broken) {
    EXPECT_FALSE(ParseSettingsText(c.text, key, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }

  mailtest::ScratchFolder folder;
  const std::string damaged = "[SOFTWARE\\KV_RODE_RUR]\n\"Port\"=\"25\"\n\"SMTP\"=oops\n";
  folder.Write("KV_RODE_RUR.reg", damaged);
  RegFileSettingsStore store(folder.file("KV_RODE_RUR.reg"));
  bool exists = false;
  const StoreResult checked = store.KeyExists(exists);
  ASSERT_TRUE(checked.failed());
  EXPECT_NE(checked.error.find("KV_RODE_RUR.reg does not parse, line 3"), std::string::npos) << checked.error;
  EXPECT_TRUE(store.WriteString("Port", "587").failed());
  EXPECT_TRUE(store.DeleteValue("Port").failed());
  EXPECT_EQ(folder.Read("KV_RODE_RUR.reg"), damaged);
}

TEST(PasswordBlock, RoundTripsAndTheCheckByteCarriesTheLoginSwitch) {
  // An empty password with login off stores v[i] = i throughout.
  const PasswordBlock empty = EncodePasswordBlock("", 0, false);
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(empty[i], static_cast<std::uint8_t>(i ^ MaskTable[i % 8])) << i;
  EXPECT_EQ(empty[17], 120);  // 0 + 1 + ... + 15

  const struct {
    std::string password;
    std::uint8_t key;
    bool login;
    std::string decoded;
  } cases[] = {
      {"", 0, false, ""},
      {"", 0x5C, true, ""},
      {"secret", 0, true, "secret"},
      {"123456789012345", 0xFF, true, "123456789012345"},
      {"1234567890123456789", 7, false, "1234567890123456789"},  // longer than the classic block: whole
      {"12345678901234\xC3\xA9", 7, true, "12345678901234\xC3\xA9"},
      {"abcdefghij0123456789!?", 0x41, true, "abcdefghij0123456789!?"},  // a 22-byte application password
      {std::string(255, 'p'), 0x80, true, std::string(255, 'p')},
      {"\xFF\xFE\xF1", 1, true, "\xFF\xFE\xF1"},  // byte + i wraps around
  };
  for (const auto& c : cases) {
    const PasswordBlock block = EncodePasswordBlock(c.password, c.key, c.login);
    EXPECT_EQ(PasswordBlockKey(block), c.key);
    // Passwords the classic block holds keep its 18 bytes, so older programs read them.
    if (c.password.size() <= 15) {
      EXPECT_EQ(block.size(), 18u) << c.password;
    }
    const DecodedPassword decoded = DecodePasswordBlock(block);
    EXPECT_EQ(decoded.password, c.decoded) << c.password;
    EXPECT_EQ(decoded.authState, c.login ? kAuthLogin : kAuthNone) << c.password;
  }

  // A check byte that fits neither form, and the all-zero buffer of a key without "ProductID".
  PasswordBlock tampered = EncodePasswordBlock("secret", 3, true);
  tampered[17] ^= 0x10;
  EXPECT_EQ(DecodePasswordBlock(tampered).authState, kAuthBadBlock);
  EXPECT_EQ(DecodePasswordBlock(tampered).password, "ErrorFormat");
  EXPECT_EQ(DecodePasswordBlock(PasswordBlock{}).password, "ErrorFormat");
}

}  // namespace
}  // namespace rur
