// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/hook_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace rur {
namespace {

// Our environment with the event's variables set over it.
std::vector<std::string> MergedEnvironment(const HookRunner::Environment& added) {
  std::vector<std::string> merged;
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    const std::string entry(*variable);
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [key, value] : added) replaced = replaced || key == name;
    if (!replaced) merged.push_back(entry);
  }
  for (const auto& [key, value] : added) merged.push_back(key + "=" + value);
  return merged;
}

std::string Seconds(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

HookRunner::HookRunner(std::vector<std::string> programs, Report report, std::chrono::milliseconds limit)
    : programs_(std::move(programs)), report_(std::move(report)), limit_(limit) {}

HookRunner::~HookRunner() { WaitAll(); }

void HookRunner::Run(const Environment& environment, const std::string& what) {
  Poll();
  std::vector<std::string> variables = MergedEnvironment(environment);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  for (const std::string& program : programs_) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // No input; its output joins our diagnostics, so standard output stays ours (JSON lines).
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // A group of its own, so a kill reaches what it started too; default signals, as a new program expects.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string name = program;
    char* argv[] = {name.data(), nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
      report_(program + " could not be started for " + what + ": " + std::strerror(error));
      continue;
    }
    children_.push_back({pid, program, what, std::chrono::steady_clock::now()});
  }
}

void HookRunner::Poll() {
  const auto now = std::chrono::steady_clock::now();
  for (auto child = children_.begin(); child != children_.end();) {
    int status = 0;
    const pid_t done = ::waitpid(child->pid, &status, WNOHANG);
    if (done == 0) {
      if (!child->killed && now - child->started >= limit_) {
        ::kill(-child->pid, SIGKILL);
        child->killed = true;
        report_(child->program + " for " + child->what + " did not end within " + Seconds(limit_) + " and was killed");
      }
      ++child;
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done > 0 && !child->killed) {
      if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        report_(child->program + " for " + child->what + " failed with exit status " +
                std::to_string(WEXITSTATUS(status)));
      else if (WIFSIGNALED(status))
        report_(child->program + " for " + child->what + " was ended by signal " + std::to_string(WTERMSIG(status)));
    }
    // Ended, or no child of ours any more (reaped elsewhere): either way no longer running.
    child = children_.erase(child);
  }
}

void HookRunner::WaitAll() {
  for (;;) {
    Poll();
    if (children_.empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace rur
