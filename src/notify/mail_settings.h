// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names and small rules of the mail settings: the stored value names, the order of the loaded
// settings, the edit bits of the E-mail page, the alarm kinds and their text files.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rur {

// Stored values.
constexpr std::string_view kValuePort = "Port";
constexpr std::string_view kValueHost = "SMTP";
constexpr std::string_view kValueSenderName = "UserName";
constexpr std::string_view kValueSenderAddress = "Addr";
constexpr std::string_view kValueTimeOut = "TimeOut";
constexpr std::string_view kValueAccount = "UserID";
constexpr std::string_view kValuePasswordBlock = "ProductID";
constexpr std::string_view kValueSuppressMask = "EMailSend";
constexpr std::string_view kValueRecipientCount = "ToAddrCount";
constexpr std::string_view kValueMailFolder = "FilePath";
constexpr std::string_view kValueAllowPlainLogin = "AllowPlainLogin";  // 1: a login may go without TLS
constexpr std::string_view kValueCaFile = "CAFile";                    // PEM bundle that verifies the server
constexpr std::string_view kValueImplicitTls = "ImplicitTLS";          // 1: TLS from the first byte, 0: STARTTLS
constexpr std::string_view kValueFanMinRpm = "FanMinRPM";              // fan alarm below this speed (0: only at 0 RPM)
constexpr std::string_view kValueTempAlarm = "TempAlarm";
// Not a stored value: the login box, kept in the password block; a setting of its own for rurctl
// mail-set, the service's SetMailSetting and GetMailSettings.
constexpr std::string_view kLoginSwitch = "Login";  // temperature alarm from this many degrees C

constexpr std::string_view kDefaultPort = "25";
constexpr std::string_view kDefaultTimeOut = "0";
constexpr std::uint32_t kDefaultTempAlarm = 55;
constexpr std::uint16_t kImplicitTlsPort = 465;  // where an empty ImplicitTLS means TLS from the first byte

// Entries of MailSettings, in the order a load appends them.
enum MailSettingIndex : std::size_t {
  kSettingPort = 0,
  kSettingHost = 1,
  kSettingSenderName = 2,
  kSettingSenderAddress = 3,
  kSettingTimeOut = 4,
  kSettingPassword = 5,
  kSettingAccount = 6,
  kMailSettingCount = 7,
};

// SettingsDirty: one bit per edit of the page, and one for a rewritten recipient list.
constexpr std::uint8_t kDirtyPort = 0x01;           // Edit1
constexpr std::uint8_t kDirtyHost = 0x02;           // Edit2
constexpr std::uint8_t kDirtySenderName = 0x04;     // Edit3
constexpr std::uint8_t kDirtySenderAddress = 0x08;  // Edit4
constexpr std::uint8_t kDirtyTimeOut = 0x10;        // Edit5
constexpr std::uint8_t kDirtyPassword = 0x20;       // Edit8, or the login box changed
constexpr std::uint8_t kDirtyRecipients = 0x40;
constexpr std::uint8_t kDirtyAccount = 0x80;  // Edit12

// MailRequestFlags.
constexpr std::uint8_t kMailRequestLoad = 0x01;
constexpr std::uint8_t kMailRequestAlarm = 0x02;

// Alarm kinds 1..5 and the captions that name their text files.
constexpr int kAlarmKindCount = 5;
constexpr std::uint8_t kAlarmDriveFailure = 1;
constexpr std::uint8_t kAlarmSystemFailure = 2;
constexpr std::uint8_t kAlarmOverHeat = 3;
constexpr std::uint8_t kAlarmFanFailure = 4;
constexpr std::uint8_t kAlarmDiskHealth = 5;  // a member disk's SMART data got worse
constexpr std::array<std::string_view, kAlarmKindCount> MailKindCaptions = {"Hard Disks Fail", "Device Removed",
                                                                            "Over Heat", "Fan Fail", "Disk Health"};
// The kinds whose subject and text the E-mail page edits: all of them.
constexpr int kEditedKindCount = kAlarmKindCount;

constexpr std::size_t kMaxRecipients = 10;
constexpr std::uint64_t kEmailThreadIntervalMs = 200;
constexpr unsigned kDefaultDeliveryTimeoutSeconds = 30;

constexpr std::string_view kMailCaption = "E-Mail Message";

// "ToAddr_" + n as two upper-case hexadecimal digits.
std::string RecipientValueName(std::size_t index);
// File names of a kind's subject and contents files (kind 1..5).
std::string SubjectFileName(int kind);
std::string ContentsFileName(int kind);
// A folder and a file name, with exactly one "/" between them.
std::string PathInFolder(const std::string& folder, const std::string& name);

// The login account a sender address implies: the part before its first "@", or all of it.
std::string AccountFromAddress(std::string_view address);

// Lines of a text file: CR LF or LF ends a line; a last line without an end still counts.
std::vector<std::string> SplitTextLines(std::string_view text);
// Lines joined as a text file, each ended by CR LF.
std::string JoinTextLines(const std::vector<std::string>& lines);

// The port text as a TCP port; false with a message for anything but a decimal 1..65535.
bool ParsePortText(std::string_view text, std::uint16_t& port, std::string& error);
// The stored time-out in seconds; 0, empty or not a number give the default.
unsigned DeliveryTimeoutSeconds(std::string_view text);
// A limit typed on the page: empty gives `fallback`; false for anything but decimal digits up to
// `maximum`.
bool ParseLimitText(std::string_view text, std::uint32_t maximum, std::uint32_t fallback, std::uint32_t& value);

}  // namespace rur
