// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the controls of the E-mail page hold. The window binds its edits, boxes and grids to this
// model; the mail centre fills it, checks recipient edits against it and saves from it.

#include <array>
#include <string>
#include <vector>

#include "notify/mail_settings.h"

namespace rur {

// Sub-pages of the E-mail page (MailSubPage).
constexpr int kMailSubPageSetup = 0;
constexpr int kMailSubPageHddFail = 1;
constexpr int kMailSubPageDeviceRemove = 2;
constexpr int kMailSubPageOverHeat = 3;
constexpr int kMailSubPageFanFail = 4;
constexpr int kMailSubPageDiskHealth = 5;

// One alarm kind's sub-page: "HDD_Fail" (kind 1), "DeviceRemove" (kind 2), "OverHeat" (kind 3),
// "FanFail" (kind 4) or "DiskHealth" (kind 5).
struct MailKindPage {
  std::string addAddress;             // Edit7 / Edit6
  int selectedRow = 0;                // row selected in StringGrid1 / StringGrid2
  std::string subject;                // Edit10 / Edit11
  std::vector<std::string> contents;  // Memo6 / Memo4
  bool suppress = false;              // CheckBox2 / CheckBox4 "Don't send EMail for this event."
};

struct MailPageModel {
  // "Setup" sub-page.
  std::string port;              // Edit1
  std::string host;              // Edit2
  std::string senderName;        // Edit3
  std::string senderAddress;     // Edit4
  std::string timeOut;           // Edit5
  std::string password;          // Edit8
  std::string account;           // Edit12
  bool login = false;            // CheckBox8; Edit8, Edit12, Label19 and Label20 show while it is ticked
  bool allowPlainLogin = false;  // the login may be sent without TLS
  std::string caFile;            // the PEM bundle that verifies the server (not on the page; kept as loaded)
  std::string implicitTls;       // "1" TLS from the first byte, "0" STARTTLS, empty: by port (465)
  std::string mailFolder;        // the folder of the subject and text files (not on the page; kept as loaded)

  // The sensor limits, on the sub-pages of kinds 3 and 4.
  std::string tempAlarm;  // degrees C from which the temperature alarm counts
  std::string fanMinRpm;  // fan speed below which the fan alarm counts; empty or 0: only a stopped fan

  std::array<MailKindPage, kEditedKindCount> kinds;  // sub-pages 1 to 5
  std::vector<std::string> recipientEditor;          // Memo7, the list being edited
  int subPage = kMailSubPageSetup;                   // MailSubPage

  // Rows 0..9 of both recipient grids.
  std::array<std::string, kMaxRecipients> GridRows() const {
    std::array<std::string, kMaxRecipients> rows;
    for (std::size_t i = 0; i < rows.size() && i < recipientEditor.size(); ++i) rows[i] = recipientEditor[i];
    return rows;
  }
};

}  // namespace rur
