// SPDX-License-Identifier: GPL-3.0-or-later
// Files the program keeps must survive the program being killed at any moment: a child process
// saves over and over and is killed with SIGKILL at a random point, many times; the file left
// behind must be the old one or the new one, byte for byte, never a part of either. Before each
// save the child tells the parent, through a pipe, the size and hash of what it is about to write.
// (This test waits in real time: the kill must land while the child is inside a save.)

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "monitor/event_log.h"
#include "notify/reg_file_store.h"
#include "platform/atomic_file.h"
#include "smart/dump_file.h"

namespace rur {
namespace {

namespace fs = std::filesystem;

constexpr int kKillsPerFile = 40;

struct Fingerprint {
  std::uint64_t hash = 0;
  std::uint64_t size = 0;
  bool operator==(const Fingerprint&) const = default;
};

Fingerprint FingerprintOf(const std::string& bytes) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return {hash, bytes.size()};
}

struct TempFolder {
  TempFolder() {
    path = fs::temp_directory_path() / ("rur-crash-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempFolder() { fs::remove_all(path); }
  fs::path path;
  static inline int counter = 0;
};

// What the child tells the parent before each save.
class Announcer {
 public:
  explicit Announcer(int fd) : fd_(fd) {}
  void Saving(const std::string& bytes) const {
    const Fingerprint print = FingerprintOf(bytes);
    if (::write(fd_, &print, sizeof print) != sizeof print) ::_exit(3);
  }

 private:
  int fd_;
};

// Runs `saves` in a child, kills it at a random moment and returns what it announced.
std::vector<Fingerprint> SaveUntilKilled(const std::function<void(const Announcer&)>& saves, std::mt19937& random) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    ::alarm(20);  // never outlives a parent that went away
    saves(Announcer(pipeFds[1]));
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  // Wait for the first announcement, so the kill falls among the saves, not before them.
  std::vector<Fingerprint> announced(1);
  if (::read(pipeFds[0], &announced[0], sizeof(Fingerprint)) != sizeof(Fingerprint)) announced.clear();
  std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 6000)(random)));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  Fingerprint print;
  while (::read(pipeFds[0], &print, sizeof print) == sizeof print) announced.push_back(print);
  ::close(pipeFds[0]);
  return announced;
}

Fingerprint FileFingerprint(const fs::path& path) {
  std::string contents, error;
  if (ReadWholeFile(path.string(), contents, error) != FileReadStatus::Ok) return {};
  return FingerprintOf(contents);
}

// The file is the last save begun (it completed) or the one before it (it was cut short).
void ExpectOldOrNew(const fs::path& path, const Fingerprint& initial, const std::vector<Fingerprint>& announced) {
  ASSERT_FALSE(announced.empty());
  const Fingerprint found = FileFingerprint(path);
  const Fingerprint newest = announced.back();
  const Fingerprint previous = announced.size() > 1 ? announced[announced.size() - 2] : initial;
  EXPECT_TRUE(found == newest || found == previous)
      << path << ": " << found.size << " bytes, expected " << newest.size << " or " << previous.size;
}

// Leftover temporaries of cut saves are hidden files ("." + name + ".XXXXXX"), never the file itself.
void ExpectOnlyHiddenLeftovers(const fs::path& folder, const std::string& keep) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(keep, 0) == 0) continue;
    EXPECT_EQ(name.rfind("." + keep, 0), 0u) << name;
  }
}

std::string Filler(std::size_t round, std::size_t size) {
  std::string text(size, ' ');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + round) % 26);
  return text;
}

TEST(CrashSafeFiles, FirmwareBackupIsOldOrNew) {
  TempFolder folder;
  const fs::path path = folder.path / "flash.bin";
  std::string error;
  const std::string initial = Filler(0, 1 << 20);
  ASSERT_TRUE(WriteFileAtomically(path.string(), initial, 0644, error));
  std::mt19937 random(1);
  for (int kill = 0; kill < kKillsPerFile; ++kill) {
    const Fingerprint before = FileFingerprint(path);
    const auto announced = SaveUntilKilled(
        [&](const Announcer& announcer) {
          for (std::size_t round = 1;; ++round) {
            // Sizes differ, so a backup cut short could never pass for a whole one.
            const std::string bytes = Filler(round, (1 << 20) - round * 977 % 65536);
            announcer.Saving(bytes);
            std::string saveError;
            WriteFileAtomically(path.string(), bytes, 0644, saveError);
          }
        },
        random);
    ExpectOldOrNew(path, before, announced);
  }
  ExpectOnlyHiddenLeftovers(folder.path, "flash.bin");
}

TEST(CrashSafeFiles, DayLogIsOldOrNew) {
  TempFolder folder;
  std::mt19937 random(2);
  const LocalDateTime day{2026, 3, 14, 9, 0, 0};
  const fs::path path = EventLogWriter(folder.path.string()).DayFilePath(day);
  for (int kill = 0; kill < kKillsPerFile; ++kill) {
    const Fingerprint before = FileFingerprint(path);
    const auto announced = SaveUntilKilled(
        [&](const Announcer& announcer) {
          EventLogWriter writer(folder.path.string());
          // The writer's own save, announced first.
          writer.setFileFunctions(
              [&announcer](const std::string& file, const std::string& contents, std::string& error) {
                announcer.Saving(contents);
                return WriteFileAtomically(file, contents, 0644, error);
              },
              [](const std::string& file, std::string& contents) {
                std::string error;
                return ReadWholeFile(file, contents, error);
              });
          IdentifyBlock identity{};
          StatusRecord record{};
          record[status_offset::kFilledMark] = kRecordFilled;
          LocalDateTime now = day;
          writer.WriteEventLog(1, {{&identity, &record}}, now, true);
          for (int cycle = 0;; ++cycle) {
            // A member pulled and put back, over and over: two lines a cycle into an ever longer file.
            record[status_offset::kDriveFlags] = cycle % 2 ? kBothPresent : (kHdd1Present | kHdd2Absent);
            record[status_offset::kHdd2StateCode] = cycle % 2 ? 0x00 : 0x05;
            now.second = cycle % 60;
            writer.WriteEventLog(1, {{&identity, &record}}, now, false);
          }
        },
        random);
    ExpectOldOrNew(path, before, announced);
  }
  ExpectOnlyHiddenLeftovers(folder.path, fs::path(path).filename().string());
}

TEST(CrashSafeFiles, SettingsFileIsOldOrNew) {
  TempFolder folder;
  const std::string path = SettingsFilePath(folder.path.string());
  std::mt19937 random(3);
  for (int kill = 0; kill < kKillsPerFile; ++kill) {
    const Fingerprint before = FileFingerprint(path);
    const auto announced = SaveUntilKilled(
        [&](const Announcer& announcer) {
          RegFileSettingsStore store(path);
          // What the file holds after each write, to announce it first.
          SettingsKey mirror;
          std::string text, error;
          if (ReadWholeFile(path, text, error) == FileReadStatus::Ok) ParseSettingsText(text, mirror, error);
          for (std::uint32_t round = 0;; ++round) {
            const std::string name = "Recipient" + std::to_string(round % 40);
            const SettingsValue value = SettingsValue::String(Filler(round, 200 + round % 300));
            mirror.Set(name, value);
            announcer.Saving(FormatSettingsText(mirror));
            store.Write(name, value);
          }
        },
        random);
    ExpectOldOrNew(path, before, announced);
    std::string text, error;
    SettingsKey key;
    if (ReadWholeFile(path, text, error) == FileReadStatus::Ok) {
      EXPECT_TRUE(ParseSettingsText(text, key, error)) << error;
    }
  }
  ExpectOnlyHiddenLeftovers(folder.path, std::string(kSettingsFileName));
}

TEST(CrashSafeFiles, DumpFilesAreWholeOrAbsent) {
  TempFolder folder;
  std::mt19937 random(4);
  std::vector<std::uint8_t> pages(1024);
  for (std::size_t i = 0; i < pages.size(); ++i) pages[i] = static_cast<std::uint8_t>(i * 13);
  const std::string whole(pages.begin(), pages.end());
  for (int kill = 0; kill < kKillsPerFile; ++kill) {
    SaveUntilKilled(
        [&](const Announcer& announcer) {
          Ui quiet;
          for (;;) {
            announcer.Saving(whole);
            // All 36 names taken: make room, as someone collecting the dumps would.
            if (!WriteDumpFile(DumpKind::SmartData, pages.data(), pages.size(), folder.path, quiet))
              for (const auto& entry : fs::directory_iterator(folder.path))
                if (entry.path().filename().string().rfind("dSMART", 0) == 0) fs::remove(entry.path());
          }
        },
        random);
    for (const auto& entry : fs::directory_iterator(folder.path)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("dSMART", 0) != 0) continue;
      EXPECT_EQ(FileFingerprint(entry.path()), FingerprintOf(whole)) << name;
    }
  }
  ExpectOnlyHiddenLeftovers(folder.path, "dSMART");
}

}  // namespace
}  // namespace rur
