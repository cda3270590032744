// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: a fixed white frame with the navigation column on the left, the page book on
// the right and the status bar at the bottom. It starts the program, drives the engine from the
// Qt event loop on the real clock, shows what the engine reports, and refuses to close while a
// firmware upgrade runs.

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

#include "platform/user_interface.h"
#include "window/artwork.h"
#include "window/desktop_notifier.h"
#include "window/dialogs.h"
#include "window/log_viewer.h"
#include "window/notebook_page.h"

class QCheckBox;
class QLabel;
class QScrollArea;
class QSessionManager;
class QStackedWidget;
class QTimer;

namespace rur {
class Engine;
class Program;
}  // namespace rur

namespace rur::ui {

class AboutPageWidget;
class TrayIcon;
class EmailPageWidget;
class ImageButton;
class PanelStatusBar;
class SmartPageWidget;
class StatusPageWidget;
class UpgradePageWidget;

// The visible navigation buttons as a mask over Status 01h, Setup 02h, Upgrade 04h, E-mail 08h,
// SMART 10h and About 20h.
constexpr unsigned kNavigationMask = 0x3D;
constexpr int kClientWidth = 620;
constexpr int kClientHeight = 440;
constexpr int kStatusBarHeight = 19;
// The smallest the window may be made: the frame scrolls inside it.
constexpr int kSmallestWidth = 240;
constexpr int kSmallestHeight = 160;

class MainWindow : public QWidget, public PageHost {
  Q_OBJECT

 public:
  explicit MainWindow(DialogHooks dialogs = DesktopDialogs(), QWidget* parent = nullptr);
  ~MainWindow() override;

  // What the program talks to; valid before Attach, so the program can be opened with it.
  Ui& sink() override;
  // Connects the opened program; then Start starts it and, on the real clock, the engine's timer.
  void Attach(Program& program);
  void Start();

  Program* program() override { return program_; }
  Engine* engine() override;
  const DialogHooks& dialogs() const override { return dialogs_; }
  PanelStatusBar* statusBar() { return statusBar_; }
  void SetPanel(int index, const QString& text) override;
  // What the engine last reported for status-bar panel index (0..4), shown or not.
  QString panelText(int index) const { return enginePanels_.value(index); }
  // The status bar shows the engine's trace counters instead of the user's summary.
  void ShowTraces(bool shown);
  // Places the window inside the screen's available area, made smaller when it does not fit.
  void PlaceOnScreen();
  // The notifier of new day-log lines (the session bus one unless a test puts its own).
  void SetNotifier(std::unique_ptr<DesktopNotifier> notifier) { notifier_ = std::move(notifier); }
  // Shows the window however it was hidden: restored from the task bar or the tray, raised.
  void BringToFront();
  // The notification-area icon, made by Start where a notification area exists (or when asked).
  void CreateTrayIcon();
  TrayIcon* trayIcon() const { return tray_; }
  // Settings of the desktop face: closing the window keeps the program in the tray; notices.
  bool keepInTray() const { return keepInTray_; }
  void SetKeepInTray(bool keep);
  bool notificationsOn() const { return notificationsOn_; }
  void SetNotificationsOn(bool on);
  // A message box; while a firmware upgrade runs it does not wait for the user.
  void ShowMessage(const QString& text, const QString& caption, MessageKind kind);

  // Start-up layout of the navigation buttons: the buttons of the mask take the design slots in
  // order; the others are hidden.
  void LayOutNavigation(unsigned mask);
  // Shows CurrentPage: its button in yellow, every other one in white.
  void ShowPage();

  // Navigation, each refused by the engine before the status page was first drawn and during an upgrade.
  void OpenStatusPage();
  void OpenUpgradePage();
  void OpenEmailPage();
  void OpenAboutPage();
  void OpenSmartPage();
  // A double-click on the status bar.
  void ShowSystemInformation();
  // Opens the event log viewer unless one is open already.
  void OpenLogViewer() override;
  // The user clicked a device box: the engine takes its tick.
  void ApplyDevice1Box();
  void ApplyDevice2Box();
  // The event log viewer the user has open, if any.
  LogViewerDialog* openViewer() const { return viewer_.data(); }

  // The engine changed something the window shows.
  void EngineChanged(UiUpdate what);
  void ShowDetectionNotice(const QString& text, bool shown);
  // Alarm mails wait in the outbox: the notice stays in the last status-bar panel until they went.
  void ShowMailWaiting(const QString& text);
  void SetNavigationEnabled(bool enabled);
  void SetDeviceSelectorsEnabled(bool enabled);
  UpgradePageWidget* upgradePage() { return upgradePage_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Esc inside a page takes the focus back to the page's button in the navigation column.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class Sink;
  struct NavigationButton {
    ImageButton* button = nullptr;
    QLabel* yellow = nullptr;
    QLabel* white = nullptr;
    int page = 0;
  };

  void BuildFrame();
  void BuildNavigation();
  NavigationButton MakeNavigationButton(const QString& name, const QString& caption, Glyph glyph, int page, int y);
  void OpenPage(int page, NotebookPage* widget);
  void SessionEnding(QSessionManager& manager);
  // The user's summary in the status bar: the selected enclosure's state, the last refresh, the outbox.
  void ShowSummary();
  // Per-enclosure states into the tray icon; the engine's events out as desktop notices.
  void ShowTrayState();
  void NotifyEvent(const LogEvent& event);
  void QuitProgram();
  void LoadDesktopSettings();
  QString DesktopSettingsFile() const;

  DialogHooks dialogs_;
  std::unique_ptr<Sink> sink_;
  Program* program_ = nullptr;
  QTimer* engineTimer_ = nullptr;

  QWidget* canvas_ = nullptr;            // the frame at its design size
  QScrollArea* frameArea_ = nullptr;     // shows the frame, scrolled where the window is smaller
  QLabel* background_ = nullptr;         // Image_Background
  QLabel* detectionText_ = nullptr;      // StaticText1: "Drive detecting" and what detection found
  QCheckBox* device1Box_ = nullptr;      // CheckBox1
  QCheckBox* device2Box_ = nullptr;      // CheckBox3
  QStackedWidget* pageBook_ = nullptr;   // Notebook1
  PanelStatusBar* statusBar_ = nullptr;  // StatusBar1
  QString mailWaiting_;                  // shown in panel 4 whenever nothing else is
  // In the order Status, Setup, Upgrade, E-mail, SMART, About.
  std::array<NavigationButton, 6> navigation_{};
  std::array<NotebookPage*, 6> pages_{};
  StatusPageWidget* statusPage_ = nullptr;
  UpgradePageWidget* upgradePage_ = nullptr;
  EmailPageWidget* emailPage_ = nullptr;
  AboutPageWidget* aboutPage_ = nullptr;
  SmartPageWidget* smartPage_ = nullptr;
  QPointer<LogViewerDialog> viewer_;
  QStringList enginePanels_{QString(), QString(), QString(), QString(), QString()};
  bool tracesShown_ = false;
  QString lastRefresh_;  // local time of the last refresh cycle
  std::unique_ptr<DesktopNotifier> notifier_;
  TrayIcon* tray_ = nullptr;
  bool keepInTray_ = false;
  bool notificationsOn_ = true;
  bool quitting_ = false;
};

}  // namespace rur::ui
