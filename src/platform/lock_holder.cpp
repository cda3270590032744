// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/lock_holder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rur {
namespace {

constexpr const char* kUnknownHolder = "another process";
constexpr std::size_t kCommandLineShown = 120;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// argv joined by spaces, the program by its file name only.
std::string CommandLineOf(const std::string& procDir, unsigned long pid) {
  const std::string raw = ReadFile(procDir + "/" + std::to_string(pid) + "/cmdline");
  std::string text;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= raw.size(); ++i) {
    if (i < raw.size() && raw[i] != '\0') continue;
    std::string word = raw.substr(start, i - start);
    start = i + 1;
    if (word.empty()) continue;
    if (text.empty()) word = std::filesystem::path(word).filename().string();
    text += (text.empty() ? "" : " ") + word;
  }
  if (text.size() > kCommandLineShown) text = text.substr(0, kCommandLineShown) + "...";
  return text;
}

}  // namespace

std::string DescribeFlockHolder(const std::string& path, const std::string& locksText, const std::string& procDir) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) return kUnknownHolder;
  std::istringstream lines(locksText);
  std::string line;
  while (std::getline(lines, line)) {
    // "1: FLOCK  ADVISORY  WRITE 4242 00:05:817 0 EOF"; waiters are listed with "->" and skipped.
    std::istringstream fields(line);
    std::string number, kind, mode, access, where;
    unsigned long pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") continue;
    if (!(fields >> mode >> access >> pid >> where)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major != ::major(facts.st_dev) || minor != ::minor(facts.st_dev) || inode != facts.st_ino) continue;
    const std::string command = CommandLineOf(procDir, pid);
    return (command.empty() ? std::string("a process") : command) + " (process " + std::to_string(pid) + ")";
  }
  return kUnknownHolder;
}

std::string DescribeFlockHolder(const std::string& path) { return DescribeFlockHolder(path, ReadFile("/proc/locks")); }

}  // namespace rur
