// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One run of the desktop program on a simulated scenario and the virtual clock: the window, the
// program and a folder of its own. Message boxes and file choices are answered by the test.

#include <QCoreApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "emulator/scenario.h"
#include "support/engine_test_access.h"
#include "window/main_window.h"
#include "window/panel_status_bar.h"

namespace rur::ui::test {

struct ShownMessage {
  QString text;
  QString caption;
  MessageKind kind;
  bool leftOpen = false;  // shown without waiting for the user (an upgrade was running)
};

class GuiRun {
 public:
  // scenario: a bundled scenario's name, or a scenario's JSON text when it starts with "{".
  // settings: the values of the settings file the program finds, one "Name"="text" line each.
  explicit GuiRun(const std::string& scenario, const std::string& settings = {}) : window(Hooks()) {
    if (!settings.empty()) {
      const std::string path = dir.filePath(QStringLiteral("KV_RODE_RUR.reg")).toStdString();
      std::ofstream(path) << "[SOFTWARE\\KV_RODE_RUR]\n" << settings;
      std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    ProgramOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.dataDir = dir.path().toStdString();
    options.scenarioPath = ScenarioPath(scenario);
    std::string error;
    opened = program.Open(options, window.sink(), error);
    openError = QString::fromStdString(error);
    if (!opened) return;
    window.Attach(program);
    window.Start();
    window.show();
  }
  ~GuiRun() {
    std::string ignored;
    EngineTestAccess::Marks(engine()).OperationBusy = false;
    program.Close(ignored);
  }

  Engine& engine() { return program.engine(); }
  void run(std::uint64_t ms) {
    engine().RunFor(ms);
    QCoreApplication::processEvents();
  }
  bool detect() {
    const bool detected = engine().RunUntilDetected(10000);
    QCoreApplication::processEvents();
    return detected;
  }
  template <typename T = QLabel>
  T* find(const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
  }
  QString text(const char* name) { return find<QLabel>(name)->text(); }
  // What the engine last reported for status-bar panel index, shown or not.
  QString panel(int index) { return window.panelText(index); }

  QTemporaryDir dir;
  std::vector<ShownMessage> messages;
  // Boxes that do not wait are real boxes of the window, left open as a user who walked away would.
  bool realOpenBoxes = false;
  std::deque<QString> chosenFiles;       // answers of the open-file dialog; empty: cancelled
  std::vector<QString> chooserFolders;   // the folder each open-file dialog started in
  std::deque<LeaveChoice> leaveAnswers;  // answers to "save the edits?"; none: Cancel
  std::vector<QString> questions;        // yes-or-no questions asked (before an upgrade)
  bool confirmAnswer = true;
  MainWindow window;  // outlives the program, which reports to it
  Program program;
  bool opened = false;
  QString openError;

 private:
  DialogHooks Hooks() {
    DialogHooks hooks;
    hooks.messageBox = [this](QWidget*, const QString& text, const QString& caption, MessageKind kind) {
      messages.push_back({text, caption, kind});
    };
    hooks.openMessageBox = [this](QWidget* parent, const QString& text, const QString& caption, MessageKind kind) {
      messages.push_back({text, caption, kind, true});
      if (realOpenBoxes) DesktopDialogs().openMessageBox(parent, text, caption, kind);
    };
    hooks.askLeave = [this](QWidget*, const QString& text, const QString& caption) {
      messages.push_back({text, caption, MessageKind::Plain});
      if (leaveAnswers.empty()) return LeaveChoice::Cancel;
      const LeaveChoice answer = leaveAnswers.front();
      leaveAnswers.pop_front();
      return answer;
    };
    hooks.askConfirm = [this](QWidget*, const QString& text, const QString&) {
      questions.push_back(text);
      return confirmAnswer;
    };
    hooks.chooseFile = [this](QWidget*, const QString&, const QString& folder) {
      chooserFolders.push_back(folder);
      if (chosenFiles.empty()) return QString();
      const QString file = chosenFiles.front();
      chosenFiles.pop_front();
      return file;
    };
    return hooks;
  }
  std::string ScenarioPath(const std::string& scenario) {
    if (scenario.empty() || scenario.front() != '{') return sim::BundledScenarioPath(scenario);
    const std::string path = dir.filePath(QStringLiteral("scenario.json")).toStdString();
    std::ofstream(path) << scenario;
    return path;
  }
};

}  // namespace rur::ui::test
