// SPDX-License-Identifier: GPL-3.0-or-later
// rode-rur: the desktop program. One instance per session; a second start leaves silently.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <iostream>

#include "app/program.h"
#include "app/ui/command_line.h"
#include "app/ui/log_viewer.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_text.h"
#include "platform/single_instance.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  rur::ui::CommandLine commandLine;
  std::string error;
  if (!rur::ui::ParseCommandLine(args, commandLine, error)) {
    std::cerr << "rode-rur: " << error << "\n" << rur::ui::CommandLineHelp();
    return 2;
  }
  if (commandLine.help) {
    std::cout << rur::ui::CommandLineHelp();
    return 0;
  }
  if (commandLine.version) {
    std::cout << rur::ui::VersionLine();
    return 0;
  }

  commandLine.options.pumpWhileWaiting = true;

  rur::SingleInstanceLock instance;
  if (!instance.Acquire("KX_GUI", std::string(), error)) {
    if (error.empty()) return 0;  // another instance runs
    std::cerr << "rode-rur: " << error << " (going on without the single-instance guard)\n";
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("rode-rur"));

  // The window outlives the program, which reports to it until its very end.
  rur::ui::MainWindow window;
  rur::Program program;
  if (!program.Open(commandLine.options, window.sink(), error)) {
    window.ShowMessage(rur::ui::Q(error), QStringLiteral("Error"), rur::MessageKind::Error);
    return 1;
  }
  window.Attach(program);
  // A viewer instance that stays hidden; the one the user sees is made afresh at each opening.
  rur::ui::LogViewerDialog hiddenViewer(program, window.dialogs(), nullptr);
  window.Start();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  const int result = QApplication::exec();
  program.Close(error);
  return result;
}
