// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/mail_outbox.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/date_time_text.h"

namespace rur {
namespace {

// The outbox holds addresses and alarm texts: readable by its owner only.
constexpr mode_t kOutboxFolderMode = 0700;
constexpr mode_t kOutboxFileMode = 0600;

}  // namespace

std::string OutboxFolderOf(const std::string& dataDirectory) {
  return (std::filesystem::path(dataDirectory) / kOutboxFolderName).string();
}

std::string MailOutbox::PathOf(const std::string& id) const {
  return (std::filesystem::path(folder_) / (id + std::string(kOutboxFileEnding))).string();
}

std::vector<QueuedMail> MailOutbox::Load(std::vector<std::string>& problems) const {
  std::vector<QueuedMail> mails;
  if (folder_.empty()) return mails;
  std::error_code failure;
  std::filesystem::directory_iterator entries(folder_, failure);
  if (failure) {
    if (failure != std::errc::no_such_file_or_directory)
      problems.push_back("cannot read the outbox " + folder_ + ": " + failure.message());
    return mails;
  }
  for (const auto& entry : entries) {
    const std::filesystem::path path = entry.path();
    const std::string name = path.filename().string();
    // Temporary files of an interrupted save start with a dot and are not mails.
    if (name.front() == '.' || path.extension() != kOutboxFileEnding) continue;
    std::string text, error;
    if (ReadWholeFile(path.string(), text, error) != FileReadStatus::Ok) {
      problems.push_back(error);
      continue;
    }
    QueuedMail mail;
    mail.id = path.stem().string();
    if (!ParseOutboxFile(text, mail, error)) {
      problems.push_back(path.string() + ": " + error);
      continue;
    }
    mail.onDisk = true;
    mails.push_back(std::move(mail));
  }
  std::sort(mails.begin(), mails.end(), [](const QueuedMail& a, const QueuedMail& b) {
    return a.raisedAt != b.raisedAt ? a.raisedAt < b.raisedAt : a.id < b.id;
  });
  return mails;
}

bool MailOutbox::Save(QueuedMail& mail, const std::vector<QueuedMail>& taken, std::string& error) const {
  if (mail.id.empty()) {
    // The raise time names the file, so a listing of the folder reads in order.
    std::string stamp = FormatDateTime(CivilFromSeconds(mail.raisedAt));
    for (char& c : stamp)
      if (c == '/' || c == ' ' || c == ':') c = '-';
    const std::string stem = stamp + "-kind" + std::to_string(mail.kind);
    for (unsigned n = 1;; ++n) {
      const std::string id = stem + "-" + std::to_string(n);
      const bool inUse = std::any_of(taken.begin(), taken.end(), [&](const QueuedMail& m) { return m.id == id; });
      std::error_code ignored;
      if (!inUse && (folder_.empty() || !std::filesystem::exists(PathOf(id), ignored))) {
        mail.id = id;
        break;
      }
    }
  }
  if (folder_.empty()) return true;
  if (!MakeFolders(folder_, kOutboxFolderMode, error) ||
      !WriteFileAtomically(PathOf(mail.id), OutboxFileText(mail), kOutboxFileMode, error, FileModeUse::Exact))
    return false;
  mail.onDisk = true;
  return true;
}

bool MailOutbox::Remove(const QueuedMail& mail, std::string& error) const {
  if (folder_.empty() || mail.id.empty()) return true;
  return RemoveFileIfPresent(PathOf(mail.id), error);
}

bool MailOutbox::Exists(const QueuedMail& mail) const {
  if (folder_.empty() || !mail.onDisk) return true;
  std::error_code ignored;
  return std::filesystem::exists(PathOf(mail.id), ignored);
}

}  // namespace rur
