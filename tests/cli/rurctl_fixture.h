// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl as a user runs it: the built binary in a temporary folder of its own, with a state home
// there so nothing lands in the user's home.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rur::test {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

class RurctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rurctl-test-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs rurctl in the test's folder, with a state home there so nothing lands in the user's home.
  RunResult Rurctl(const std::string& arguments) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string command = "cd '" + dir_.string() + "' && XDG_STATE_HOME='" + (dir_ / "state").string() +
                                "' '" RURCTL_PATH "' " + arguments + " >'" + out.string() + "' 2>'" +
                                err.string() + "'";
    RunResult run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Read(out);
    run.err = Read(err);
    return run;
  }

  static std::string Read(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path dir_;
};

}  // namespace rur::test
