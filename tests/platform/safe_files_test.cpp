// SPDX-License-Identifier: GPL-3.0-or-later
// The program's files cannot be turned against their user: no symbolic link at a file's name is
// followed, no folder other users may write to is used, and new files are no more open than the
// umask allows (the settings file is always private).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include <chrono>

#include "monitor/day_log_file.h"
#include "monitor/event_log.h"
#include "monitor/status_record.h"
#include "notify/mail_outbox.h"
#include "notify/reg_file_store.h"
#include "platform/atomic_file.h"
#include "platform/program_paths.h"
#include "platform/trusted_folder.h"

namespace rur {
namespace {

namespace fs = std::filesystem;

class SafeFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rur-safe-files-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ::chmod(dir_.c_str(), 0700);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
  }

  fs::path dir_;
};

TEST_F(SafeFilesTest, APlantedLinkAtTheDayFileIsRefusedAndItsTargetNeverCopied) {
  const fs::path secret = dir_ / "secret.txt";
  std::ofstream(secret) << "TOP SECRET\n";
  const fs::path logs = dir_ / "logs";
  fs::create_directories(logs);
  fs::create_symlink(secret, logs / "160506.log");

  EventLogWriter writer(logs.string());
  IdentifyBlock identity{};
  StatusRecord record{};
  record[status_offset::kDriveFlags] = kBothPresent;
  const EventLogResult result = writer.WriteEventLog(1, {{&identity, &record}}, {2016, 5, 6, 14, 3, 27}, true);
  EXPECT_FALSE(result.saved);
  for (const std::string& line : writer.lines()) EXPECT_EQ(line.find("SECRET"), std::string::npos) << line;
  EXPECT_TRUE(fs::is_symlink(logs / "160506.log"));
  std::string contents, error;
  EXPECT_EQ(ReadWholeFile(secret.string(), contents, error), FileReadStatus::Ok);
  EXPECT_EQ(contents, "TOP SECRET\n");

  // The same for any file read or written through the file layer.
  EXPECT_EQ(ReadWholeFile((logs / "160506.log").string(), contents, error), FileReadStatus::Failed);
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(WriteFileAtomically((logs / "160506.log").string(), "new", 0666, error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(AppendToDayLog((logs / "160506.log").string(), "line\r\n", error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_EQ(ReadWholeFile(secret.string(), contents, error), FileReadStatus::Ok);
  EXPECT_EQ(contents, "TOP SECRET\n");
  // A day's file whose last line was left unended gets its end before the new lines.
  std::ofstream(logs / "160508.log") << "cut off";
  ASSERT_TRUE(AppendToDayLog((logs / "160508.log").string(), "line\r\n", error)) << error;
  EXPECT_EQ(ReadWholeFile((logs / "160508.log").string(), contents, error), FileReadStatus::Ok);
  EXPECT_EQ(contents, "cut off\r\nline\r\n");
  // One cut between its CR and LF keeps its text: only the LF is added.
  std::ofstream(logs / "160509.log") << "ab\r";
  ASSERT_TRUE(AppendToDayLog((logs / "160509.log").string(), "line\r\n", error)) << error;
  EXPECT_EQ(ReadWholeFile((logs / "160509.log").string(), contents, error), FileReadStatus::Ok);
  EXPECT_EQ(contents, "ab\r\nline\r\n");

  // A FIFO at a file's name is refused at once, never waited on, and the error names the file.
  for (const char* name : {"KV_RODE_RUR.reg", "160507.log"}) {
    const fs::path fifo = logs / name;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    error.clear();
    EXPECT_EQ(ReadWholeFile(fifo.string(), contents, error), FileReadStatus::Failed);
    EXPECT_NE(error.find(fifo.string() + ": it is a FIFO"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(AppendToDayLog(fifo.string(), "line\r\n", error));
    EXPECT_NE(error.find(fifo.string()), std::string::npos) << error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << name;
  }
}

TEST_F(SafeFilesTest, OnlyAFolderOfTheUserThatOthersCannotWriteHoldsFiles) {
  std::ofstream(dir_ / "plain-file") << "x";
  const struct Case {
    const char* name;
    mode_t mode;  // 0: do not create it
    bool usable;
    const char* problem;
  } cases[] = {
      {"private", 0700, true, ""},
      {"shared-readable", 0755, true, ""},
      {"new/nested/folder", 0, true, ""},
      {"open-to-all", 0777, false, "writable by other users"},
      {"sticky-like-tmp", 01777, false, "writable by other users"},
      {"plain-file", 0, false, "is not a folder"},
  };
  for (const Case& c : cases) {
    const fs::path folder = dir_ / c.name;
    if (c.mode != 0) {
      fs::create_directories(folder);
      ::chmod(folder.c_str(), c.mode);
    }
    std::string error;
    EXPECT_EQ(EnsureDirectory(folder.string(), error), c.usable) << c.name;
    EXPECT_NE(error.find(c.problem), std::string::npos) << c.name << ": " << error;
  }
  // A folder created for the program is its user's alone.
  EXPECT_EQ(ModeOf(dir_ / "new/nested/folder"), 0700u);

  // The alarm texts' folder: only one nobody else can change, reached without a link.
  fs::create_symlink(dir_ / "private", dir_ / "link-to-private");
  fs::create_directories(dir_ / "group-writable");
  ::chmod((dir_ / "group-writable").c_str(), 0770);
  const struct {
    const char* name;
    const char* problem;  // empty: trusted
  } textFolders[] = {{"private", ""},
                     {"shared-readable", ""},
                     {"group-writable", "can be written by its group"},
                     {"open-to-all", "can be written by every user"},
                     {"link-to-private", "through the symbolic link"},
                     {"plain-file", "is not a folder"}};
  for (const auto& c : textFolders) {
    std::string error;
    EXPECT_EQ(FolderTrustedForTexts((dir_ / c.name).string(), error), *c.problem == '\0') << c.name << ": " << error;
    EXPECT_NE(error.find(c.problem), std::string::npos) << c.name << ": " << error;
  }

  // Another user's folder is refused even when nobody else may write to it (root's is fine).
  const fs::path foreign = dir_ / "foreign";
  fs::create_directories(foreign);
  unsigned owner = ::geteuid();
  if (owner == 0) {
    ASSERT_EQ(::chown(foreign.c_str(), 4321, 4321), 0);
    owner = 4321;
  }
  std::string error;
  EXPECT_FALSE(FolderSafeForFiles(foreign.string(), owner + 1, error));
  EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
  EXPECT_TRUE(FolderSafeForFiles("/", owner + 1, error)) << error;
}

TEST_F(SafeFilesTest, NewFilesFollowTheUmaskAndTheSettingsFileStaysPrivate) {
  const mode_t saved = ::umask(077);
  struct Case {
    mode_t umask;
    mode_t expectedLog;
  } cases[] = {{077, 0600}, {022, 0644}, {002, 0664}, {0, 0666}};
  for (const Case& c : cases) {
    ::umask(c.umask);
    EXPECT_EQ(CurrentUmask(), c.umask);
    std::string error;
    const fs::path log = dir_ / ("day-" + std::to_string(c.umask) + ".log");
    ASSERT_TRUE(WriteFileAtomically(log.string(), "line\r\n", 0666, error)) << error;
    EXPECT_EQ(ModeOf(log), c.expectedLog) << std::oct << c.umask;

    const fs::path folder = dir_ / ("settings-" + std::to_string(c.umask));
    RegFileSettingsStore store(SettingsFilePath(folder.string()));
    ASSERT_TRUE(store.WriteString("SMTP", "mail.example.org").ok());
    EXPECT_EQ(ModeOf(store.path()), 0600u) << std::oct << c.umask;
    EXPECT_EQ(SettingsFileExposureWarning(store.path()), "");

    // The program's own files get their modes whatever the umask.
    const fs::path dayLog = folder / "160506.log";
    ASSERT_TRUE(AppendToDayLog(dayLog.string(), "line\r\n", error)) << error;
    EXPECT_EQ(ModeOf(dayLog), 0640u) << std::oct << c.umask;
    MailOutbox outbox(OutboxFolderOf(folder.string()));
    QueuedMail mail;
    mail.kind = 1;
    mail.recipients = {"ops@example.com"};
    ASSERT_TRUE(outbox.Save(mail, {}, error)) << error;
    EXPECT_EQ(ModeOf(outbox.folder()), 0700u) << std::oct << c.umask;
    EXPECT_EQ(ModeOf(outbox.PathOf(mail.id)), 0600u) << std::oct << c.umask;
  }
  ::umask(saved);

  // A settings file someone made readable to others is pointed out.
  const std::string settings = SettingsFilePath((dir_ / "settings-0").string());
  ::chmod(settings.c_str(), 0644);
  EXPECT_NE(SettingsFileExposureWarning(settings).find("chmod 600"), std::string::npos);
}

}  // namespace
}  // namespace rur
