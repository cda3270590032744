// SPDX-License-Identifier: GPL-3.0-or-later
// Programs run on events: their environment, a failure reported, one that hangs killed at its
// time limit (here a fraction of a second of real time), and the watch never waiting for them.

#include "platform/hook_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(HookRunner, RunsWithTheEventReportsFailuresAndKillsWhatHangs) {
  const fs::path dir = fs::temp_directory_path() / ("hook-runner-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path script = dir / "hook.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                           "echo \"$RUR_EVENT $RUR_BAY\" > '"
                        << (dir / "seen").string() << "'\n"
                        << "[ \"$RUR_EVENT\" = hang ] && exec sleep 30\n"
                           "[ \"$RUR_EVENT\" = fail ] && exit 3\n"
                           "exit 0\n";
  fs::permissions(script, fs::perms::owner_all);
  std::vector<std::string> reports;
  {
    rur::HookRunner runner(
        {script.string()}, [&](const std::string& text) { reports.push_back(text); }, 300ms);
    runner.Run({{"RUR_EVENT", "member-removed"}, {"RUR_BAY", "2"}}, "member-removed");
    runner.WaitAll();
    std::ifstream seen(dir / "seen");
    std::string line;
    std::getline(seen, line);
    EXPECT_EQ(line, "member-removed 2");
    EXPECT_TRUE(reports.empty());

    runner.Run({{"RUR_EVENT", "fail"}}, "fail");
    const auto start = std::chrono::steady_clock::now();
    runner.Run({{"RUR_EVENT", "hang"}}, "hang");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms) << "starting never waits";
    EXPECT_EQ(runner.running(), 1u + (reports.empty() ? 1u : 0u));
    runner.WaitAll();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the hanging one was killed at its limit";
    EXPECT_EQ(runner.running(), 0u);
  }
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], script.string() + " for fail failed with exit status 3");
  EXPECT_EQ(reports[1], script.string() + " for hang did not end within 300 ms and was killed");
  fs::remove_all(dir);
}

}  // namespace
