// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/display_check.h"

#include <dlfcn.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace rur::ui {
namespace {

// The X client library is loaded only for this look: Qt's X platform needs it anyway, and the
// program does not link it for the one call.
constexpr const char* kXcbLibrary = "libxcb.so.1";
struct XcbConnection;
using XcbConnect = XcbConnection* (*)(const char* display, int* screen);
using XcbHasError = int (*)(XcbConnection* connection);
using XcbDisconnect = void (*)(XcbConnection* connection);

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// "xcb:option" names the platform before its options; "wayland;xcb" is tried in order.
std::string FirstPlatform(const std::string& value) { return value.substr(0, value.find_first_of(":;")); }

// The value of a Qt option given as "-name value", "--name value" or "-name=value".
std::optional<std::string> QtOptionValue(const std::vector<std::string>& args, const std::string& name) {
  std::optional<std::string> found;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    if (word.rfind("--", 0) == 0) word.erase(0, 1);
    if (word == "-" + name && i + 1 < args.size()) found = args[++i];
    if (word.rfind("-" + name + "=", 0) == 0) found = word.substr(name.size() + 2);
  }
  return found;
}

std::string ShownDisplay(const std::string& display) { return display.empty() ? "(DISPLAY is not set)" : display; }

// Start-up warnings of Qt, held until the start is known to have worked.
std::mutex heldMutex;
std::string heldWarnings;
std::string guardedPlatform;
bool guarding = false;

void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  {
    std::lock_guard lock(heldMutex);
    if (guarding && type == QtFatalMsg) {
      std::fprintf(stderr, "rode-rur: cannot start the window system%s%s\n", guardedPlatform.empty() ? "" : " ",
                   guardedPlatform.c_str());
      std::_Exit(1);
    }
    if (guarding && type != QtInfoMsg && type != QtDebugMsg) {
      heldWarnings += message.toStdString() + "\n";
      return;
    }
  }
  std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

}  // namespace

WindowSystemChoice ChooseWindowSystem(const std::vector<std::string>& args) {
  WindowSystemChoice choice;
  choice.platform = FirstPlatform(QtOptionValue(args, "platform").value_or(Environment("QT_QPA_PLATFORM")));
  choice.display = QtOptionValue(args, "display").value_or(Environment("DISPLAY"));
  return choice;
}

std::optional<std::string> DisplayProblem(const WindowSystemChoice& choice) {
  // Without a named platform Qt takes X, unless the session says it is Wayland's.
  const bool x = choice.platform == "xcb" || (choice.platform.empty() && Environment("XDG_SESSION_TYPE") != "wayland");
  if (!x) return std::nullopt;
  if (choice.display.empty()) {
    if (choice.platform.empty() && !Environment("WAYLAND_DISPLAY").empty()) return std::nullopt;
    return std::string("cannot open display (DISPLAY is not set); rurctl works without one");
  }
  void* library = ::dlopen(kXcbLibrary, RTLD_NOW | RTLD_LOCAL);
  if (!library) return std::nullopt;
  const auto connect = reinterpret_cast<XcbConnect>(::dlsym(library, "xcb_connect"));
  const auto hasError = reinterpret_cast<XcbHasError>(::dlsym(library, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<XcbDisconnect>(::dlsym(library, "xcb_disconnect"));
  std::optional<std::string> problem;
  if (connect && hasError && disconnect) {
    XcbConnection* connection = connect(choice.display.c_str(), nullptr);
    // A failed connection is still an object to free.
    if (connection && hasError(connection) != 0) problem = "cannot open display " + ShownDisplay(choice.display);
    if (connection) disconnect(connection);
  }
  ::dlclose(library);
  return problem;
}

void GuardPlatformStartup(const WindowSystemChoice& choice) {
  std::lock_guard lock(heldMutex);
  guarding = true;
  guardedPlatform = choice.platform;
  if (guardedPlatform.empty() || guardedPlatform == "xcb")
    guardedPlatform = choice.display.empty() ? guardedPlatform : "on display " + choice.display;
  qInstallMessageHandler(StartupMessages);
}

void StartupFinished() {
  std::string warnings;
  {
    std::lock_guard lock(heldMutex);
    guarding = false;
    warnings.swap(heldWarnings);
  }
  qInstallMessageHandler(nullptr);
  if (!warnings.empty()) std::fputs(warnings.c_str(), stderr);
}

}  // namespace rur::ui
