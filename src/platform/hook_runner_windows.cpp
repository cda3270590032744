// SPDX-License-Identifier: GPL-3.0-or-later
// The user's programs on Windows: started without a shell, with the event's variables added to
// our environment, no input and their output on our error stream; each in a job of its own, so a
// program past its time is ended with whatever it started.
#include <cwchar>
#include <thread>

#include "platform/hook_runner.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

// Our environment with the event's variables set over it, as the block CreateProcess takes.
std::wstring EnvironmentBlock(const HookRunner::Environment& added) {
  std::wstring block;
  wchar_t* ours = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = ours; entry != nullptr && *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::wstring text(entry);
    const std::string name = Utf8Text(text.substr(0, text.find(L'=', 1)));
    bool replaced = false;
    for (const auto& [key, value] : added) replaced = replaced || _stricmp(key.c_str(), name.c_str()) == 0;
    if (!replaced) block += text + L'\0';
  }
  if (ours != nullptr) ::FreeEnvironmentStringsW(ours);
  for (const auto& [key, value] : added) block += WideText(key + "=" + value) + L'\0';
  return block + L'\0';
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
  std::wstring variables = EnvironmentBlock(environment);
  for (const std::string& program : programs_) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + WideText(program) + L"\"";
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | CREATE_NO_WINDOW, variables.data(), nullptr,
                          &startup, &started)) {
      report_(program + " could not be started for " + what + ": " + SystemErrorText(::GetLastError()));
      continue;
    }
    const HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job != nullptr) ::AssignProcessToJobObject(job, started.hProcess);
    ::ResumeThread(started.hThread);
    ::CloseHandle(started.hThread);
    Child child{static_cast<pid_t>(HandleToLong(started.hProcess)), program, what, std::chrono::steady_clock::now()};
    children_.push_back(child);
    jobs_.push_back(job);
  }
}

void HookRunner::Poll() {
  const auto now = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < children_.size();) {
    Child& child = children_[i];
    const HANDLE process = LongToHandle(static_cast<long>(child.pid));
    if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      if (!child.killed && now - child.started >= limit_) {
        if (jobs_[i] != nullptr) ::TerminateJobObject(jobs_[i], 1);
        ::TerminateProcess(process, 1);
        child.killed = true;
        report_(child.program + " for " + child.what + " did not end within " + Seconds(limit_) + " and was killed");
      }
      ++i;
      continue;
    }
    DWORD status = 0;
    if (!child.killed && ::GetExitCodeProcess(process, &status) && status != 0)
      report_(child.program + " for " + child.what + " failed with exit status " + std::to_string(status));
    ::CloseHandle(process);
    if (jobs_[i] != nullptr) ::CloseHandle(jobs_[i]);
    children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(i));
    jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(i));
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
