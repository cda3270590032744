// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl monitor under a service manager: readiness and status reach the notify socket, SIGHUP
// reloads the mail settings, SIGTERM ends the run cleanly, and lines carry journal priorities when
// the output is the journal. Runs the built rurctl on the real clock, bounded to a few seconds.

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "cli/rurctl_fixture.h"

namespace rur::test {
namespace {

class MonitorServiceTest : public RurctlTest {
 protected:
  void TearDown() override {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    if (socket_ >= 0) ::close(socket_);
    RurctlTest::TearDown();
  }

  // The socket a service manager would listen on.
  void ListenForNotifications() {
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket_, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (dir_ / "notify").string();
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  }

  // Waits for a datagram that holds `wanted`; every datagram seen is kept in notifications_.
  bool AwaitNotification(const std::string& wanted, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      pollfd ready{socket_, POLLIN, 0};
      if (::poll(&ready, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
      if (n <= 0) continue;
      notifications_.emplace_back(buffer, static_cast<std::size_t>(n));
      if (notifications_.back().find(wanted) != std::string::npos) return true;
    }
    return false;
  }

  bool AwaitOutput(const std::string& wanted, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      if (Read(dir_ / "stdout.txt").find(wanted) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // rurctl monitor on the simulated demo enclosure, as systemd would start it: NOTIFY_SOCKET set
  // and its output going to "the journal" (a file whose device and inode JOURNAL_STREAM names).
  void StartMonitor() {
    const std::string out = (dir_ / "stdout.txt").string(), err = (dir_ / "stderr.txt").string();
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(outFd, 0);
    ASSERT_GE(errFd, 0);
    struct stat info {};
    ASSERT_EQ(::fstat(outFd, &info), 0);
    const std::string journal = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const std::string notify = (dir_ / "notify").string();
    const std::string data = (dir_ / "data").string();
    child_ = ::fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      ::dup2(outFd, STDOUT_FILENO);
      ::dup2(errFd, STDERR_FILENO);
      ::setenv("NOTIFY_SOCKET", notify.c_str(), 1);
      ::setenv("JOURNAL_STREAM", journal.c_str(), 1);
      ::execl(RURCTL_PATH, RURCTL_PATH, "--simulate", "--data-dir", data.c_str(), "monitor", nullptr);
      ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
  }

  pid_t child_ = -1;
  int socket_ = -1;
  std::vector<std::string> notifications_;
};

TEST_F(MonitorServiceTest, TellsTheServiceManagerReloadsOnHangupAndStopsOnTerm) {
  ListenForNotifications();
  StartMonitor();

  ASSERT_TRUE(AwaitNotification("READY=1")) << Read(dir_ / "stderr.txt");
  EXPECT_NE(notifications_.back().find("STATUS=Watching 1 enclosure"), std::string::npos) << notifications_.back();
  ASSERT_TRUE(AwaitOutput("has started from"));
  // The log's lines are notices for the journal; nothing is printed without a priority.
  std::istringstream printed(Read(dir_ / "stdout.txt"));
  for (std::string line; std::getline(printed, line);)
    EXPECT_TRUE(line.rfind("<5>", 0) == 0 || line.rfind("<6>", 0) == 0 || line.rfind("<3>", 0) == 0) << line;

  // A recipient added behind the monitor's back counts after SIGHUP.
  std::ofstream(dir_ / "data" / "KV_RODE_RUR.reg") << "[SOFTWARE\\KV_RODE_RUR]\n"
                                                      "\"ToAddrCount\"=dword:00000001\n"
                                                      "\"ToAddr_00\"=\"admin@example.org\"\n";
  ASSERT_EQ(::kill(child_, SIGHUP), 0);
  EXPECT_TRUE(AwaitOutput("<6>Mail settings reloaded from " + (dir_ / "data" / "KV_RODE_RUR.reg").string() +
                          ": 1 recipient(s)"))
      << Read(dir_ / "stdout.txt") << Read(dir_ / "stderr.txt");

  ASSERT_EQ(::kill(child_, SIGTERM), 0);
  EXPECT_TRUE(AwaitNotification("STOPPING=1"));
  int status = 0;
  ASSERT_EQ(::waitpid(child_, &status, 0), child_);
  child_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << Read(dir_ / "stderr.txt");
  // Started without mail settings, it said once, as a warning, that alarms would not be mailed.
  const std::string err = Read(dir_ / "stderr.txt");
  const std::string notice = "<4>No mail server (SMTP) and no recipient are set: alarms will only reach the log";
  EXPECT_NE(err.find(notice), std::string::npos) << err;
  EXPECT_EQ(err.find(notice, err.find(notice) + 1), std::string::npos) << err;
}

}  // namespace
}  // namespace rur::test
