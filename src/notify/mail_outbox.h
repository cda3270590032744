// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outbox: a folder of the data folder with one file per alarm mail that still waits for its
// server. A mail is saved before its first attempt and after every failed one, atomically, so a
// crash or a restart finds every mail that was not delivered; it is removed once delivered or
// given up. Without a folder (tests of the composition) the mails live in memory only.

#include <string>
#include <vector>

#include "notify/queued_mail.h"

namespace rur {

constexpr std::string_view kOutboxFolderName = "outbox";

class MailOutbox {
 public:
  explicit MailOutbox(std::string folder = {}) : folder_(std::move(folder)) {}

  bool persistent() const { return !folder_.empty(); }
  const std::string& folder() const { return folder_; }

  // The mails of the folder, oldest first. A file that cannot be read or understood is left where
  // it is and named in `problems`.
  std::vector<QueuedMail> Load(std::vector<std::string>& problems) const;
  // Gives a new mail its id (unique among `taken` and the folder's files) and writes it.
  bool Save(QueuedMail& mail, const std::vector<QueuedMail>& taken, std::string& error) const;
  bool Remove(const QueuedMail& mail, std::string& error) const;
  // Whether the mail's file is still there (always true without a folder).
  bool Exists(const QueuedMail& mail) const;
  std::string PathOf(const std::string& id) const;

 private:
  std::string folder_;
};

// The outbox of a data folder.
std::string OutboxFolderOf(const std::string& dataDirectory);

}  // namespace rur
