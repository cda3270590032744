// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl as a user runs it: the built binary in a temporary folder of its own, with a state home
// there so nothing lands in the user's home.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

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

  // Runs rurctl in the test's folder, with a state home there so nothing lands in the user's home;
  // `input` is its standard input.
  RunResult Rurctl(const std::string& arguments, const std::string& input = "") {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt", in = dir_ / "stdin.txt";
    std::ofstream(in) << input;
    const std::string command = "cd '" + dir_.string() + "' && XDG_STATE_HOME='" + (dir_ / "state").string() +
                                "' '" RURCTL_PATH "' " + arguments + " <'" + in.string() + "' >'" + out.string() +
                                "' 2>'" + err.string() + "'";
    RunResult run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Read(out);
    run.err = Read(err);
    return run;
  }

  // Starts rurctl in the test's folder without waiting for it (for signals and kills); its output
  // goes to <tag>out.txt and <tag>err.txt there, so several can run at once. Returns its process id.
  pid_t StartRurctl(const std::vector<std::string>& arguments, const std::string& tag = "") {
    const std::string stateHome = (dir_ / "state").string();
    const std::string out = (dir_ / (tag + "out.txt")).string(), err = (dir_ / (tag + "err.txt")).string();
    std::vector<std::string> words{RURCTL_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // Everything the child needs is made before the fork: after it only plain system calls.
    std::vector<std::string> environment{"XDG_STATE_HOME=" + stateHome};
    for (char** variable = environ; *variable != nullptr; ++variable)
      if (std::string(*variable).rfind("XDG_STATE_HOME=", 0) != 0) environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string folder = dir_.string();
    // Emptied before the start, so nobody reads an earlier run's output as this one's.
    std::ofstream(out, std::ios::trunc).close();
    std::ofstream(err, std::ios::trunc).close();
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      const int in = ::open("/dev/null", O_RDONLY);
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(127);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    return pid;
  }

  // The exit status of a started rurctl, or 128 + the signal that ended it.
  static int WaitExit(pid_t pid) {
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }

  // Polls until the condition holds; false when it did not within the time.
  static bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
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
