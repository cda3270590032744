// SPDX-License-Identifier: GPL-3.0-or-later
#include <mutex>

#include "platform/windows_service.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

constexpr DWORD kStopWaitHintMs = 10000;

// A service handle closed when it goes out of scope.
struct ServiceHandle {
  SC_HANDLE handle;
  explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
  ~ServiceHandle() {
    if (handle != nullptr) ::CloseServiceHandle(handle);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
};

// What the manager's callbacks need; one service per process.
struct RunningService {
  std::wstring name;
  std::function<int()> body;
  std::function<void()> stop;
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  std::mutex mutex;  // status
  SERVICE_STATUS status{};
};
RunningService running;

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
  std::lock_guard lock(running.mutex);
  running.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  running.status.dwCurrentState = state;
  running.status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  running.status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  running.status.dwServiceSpecificExitCode = exitCode;
  running.status.dwWaitHint = state == SERVICE_STOP_PENDING ? kStopWaitHintMs : 0;
  if (running.statusHandle != nullptr) ::SetServiceStatus(running.statusHandle, &running.status);
}

DWORD WINAPI HandleControl(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING);
    if (running.stop) running.stop();
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  running.statusHandle = ::RegisterServiceCtrlHandlerExW(running.name.c_str(), HandleControl, nullptr);
  if (running.statusHandle == nullptr) return;
  Report(SERVICE_RUNNING);
  const int exitStatus = running.body ? running.body() : 0;
  Report(SERVICE_STOPPED, static_cast<DWORD>(exitStatus));
}

}  // namespace

std::string QuotedProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return "\"" + Utf8Text(path) + "\"";
}

bool InstallService(const ServiceDefinition& service, const std::string& commandLine, std::string& error) {
  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (manager.handle == nullptr) {
    error = "cannot reach the service control manager (run as administrator): " + SystemErrorText(::GetLastError());
    return false;
  }
  ServiceHandle created(::CreateServiceW(manager.handle, WideText(service.name).c_str(),
                                         WideText(service.displayName).c_str(), SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                         WideText(commandLine).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (created.handle == nullptr) {
    const DWORD code = ::GetLastError();
    error = code == ERROR_SERVICE_EXISTS ? "the service " + service.name + " is registered already"
                                         : "cannot register the service " + service.name + ": " + SystemErrorText(code);
    return false;
  }
  std::wstring description = WideText(service.description);
  SERVICE_DESCRIPTIONW text{description.data()};
  ::ChangeServiceConfig2W(created.handle, SERVICE_CONFIG_DESCRIPTION, &text);
  return true;
}

bool UninstallService(const std::string& name, std::string& error) {
  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.handle == nullptr) {
    error = "cannot reach the service control manager (run as administrator): " + SystemErrorText(::GetLastError());
    return false;
  }
  ServiceHandle service(::OpenServiceW(manager.handle, WideText(name).c_str(), SERVICE_STOP | DELETE));
  if (service.handle == nullptr) {
    const DWORD code = ::GetLastError();
    error = code == ERROR_SERVICE_DOES_NOT_EXIST ? "the service " + name + " is not registered"
                                                 : "cannot open the service " + name + ": " + SystemErrorText(code);
    return false;
  }
  SERVICE_STATUS status{};
  ::ControlService(service.handle, SERVICE_CONTROL_STOP, &status);
  if (!::DeleteService(service.handle)) {
    error = "cannot remove the service " + name + ": " + SystemErrorText(::GetLastError());
    return false;
  }
  return true;
}

ServiceRun RunUnderServiceManager(const std::string& name, const std::function<int()>& body,
                                  const std::function<void()>& stop, std::string& error) {
  running.name = WideText(name);
  running.body = body;
  running.stop = stop;
  SERVICE_TABLE_ENTRYW table[] = {{running.name.data(), ServiceMain}, {nullptr, nullptr}};
  if (::StartServiceCtrlDispatcherW(table)) return ServiceRun::Ran;
  const DWORD code = ::GetLastError();
  if (code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return ServiceRun::NotStartedByServiceManager;
  error = "cannot run as a service: " + SystemErrorText(code);
  return ServiceRun::Failed;
}

}  // namespace rur
