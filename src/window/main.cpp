// SPDX-License-Identifier: GPL-3.0-or-later
// rode-rur: the desktop program. One window per data folder; a second start on the folder shows the first.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <iostream>

#include "app/program.h"
#include "platform/program_paths.h"
#include "platform/single_instance.h"
#include "window/command_line.h"
#include "window/display_check.h"
#include "window/instance_channel.h"
#include "window/log_viewer.h"
#include "window/main_window.h"
#include "window/qt_text.h"
#include "window/service_drives.h"
#include "window/service_presence.h"

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

  // One window per data folder: a second start on the folder shows the first window and leaves.
  rur::ProgramFolders folders;
  std::string folderError;
  const std::string dataFolder = rur::ChooseProgramFolders(rur::CurrentPathFacts(), commandLine.options.simulate,
                                                           commandLine.options.dataDir, folders, folderError)
                                     ? folders.data
                                     : commandLine.options.dataDir;
  const QString instanceName = rur::ui::InstanceName(dataFolder);
  const QString instanceSocket = rur::ui::InstanceSocketPath(instanceName);
  rur::SingleInstanceLock instance;
  if (!instance.Acquire(rur::ui::Std(instanceName) + ".lock", std::string(), error)) {
    if (error.empty()) {
      QCoreApplication asking(argc, argv);
      if (rur::ui::AskFirstWindowToShow(instanceSocket)) {
        std::cout << "rode-rur: the window on " << dataFolder << " runs already and was brought to the front\n";
        return 0;
      }
      std::cerr << "rode-rur: a window on " << dataFolder << " runs already but does not answer\n";
      return 1;
    }
    std::cerr << "rode-rur: " << error << " (going on without the single-instance guard)\n";
  }

  // A display that cannot be opened is told in one line, before Qt would abort on it.
  const rur::ui::WindowSystemChoice windowSystem = rur::ui::ChooseWindowSystem(args);
  if (const std::optional<std::string> problem = rur::ui::DisplayProblem(windowSystem)) {
    std::cerr << "rode-rur: " << *problem << "\n";
    return 1;
  }

  rur::ui::GuardPlatformStartup(windowSystem);
  QApplication application(argc, argv);
  rur::ui::StartupFinished();
  // Closing the window may leave the program running in the notification area.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("rode-rur"));

  // The window outlives the program, which reports to it until its very end.
  rur::ui::MainWindow window;
  rur::Program program;
  // Where rode-rurd serves the host, this window is its client: it asks the service for the
  // enclosures and their controllers, and leaves the alarm mail to it.
  const bool serviceRuns = !commandLine.options.simulate && rur::ui::ServiceServesHost();
  if (serviceRuns) program.RelayThrough(std::make_unique<rur::ui::ServiceDrives>());
  if (!program.Open(commandLine.options, window.sink(), error)) {
    window.ShowMessage(rur::ui::Q(error), QStringLiteral("Error"), rur::MessageKind::Error);
    return 1;
  }
  window.Attach(program);
  program.engine().SetAlarmsMailedElsewhere(serviceRuns);
  rur::ui::InstanceServer instanceServer;
  QString listenError;
  if (instance.held() && !instanceServer.Listen(instanceSocket, listenError))
    std::cerr << "rode-rur: a second start cannot reach this window: " << rur::ui::Std(listenError) << "\n";
  QObject::connect(&instanceServer, &rur::ui::InstanceServer::showRequested, &window,
                   [&window] { window.BringToFront(); });
  // A viewer instance that stays hidden; the one the user sees is made afresh at each opening.
  rur::ui::LogViewerDialog hiddenViewer(program, window.dialogs(), nullptr);
  window.ShowTraces(commandLine.debug);
  window.Start();
  window.sink().panel(
      4, serviceRuns
             ? "Client of rode-rurd: the service reads the enclosures, mails the alarms and keeps the host's day log"
             : "Watching the enclosures in-process: this window mails the alarms");
  window.PlaceOnScreen();
  window.show();
  // Now that the window manager framed it, the title bar counts too.
  QTimer::singleShot(0, &window, [&window] { window.PlaceOnScreen(); });
  QObject::connect(&application, &QGuiApplication::lastWindowClosed, &application, [&window] {
    if (!window.isVisible() && !(window.keepInTray() && window.trayIcon())) QApplication::quit();
  });
  const int result = QApplication::exec();
  program.Close(error);
  return result;
}
