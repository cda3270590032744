// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event log viewer: follows the day's log live, greyed and marked paused while monitoring is
// off, and can show any log file instead.

#include <QDialog>

#include "monitor/log_viewer_model.h"
#include "window/dialogs.h"

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace rur {
class Program;
}

namespace rur::ui {

class LogViewerDialog : public QDialog {
  Q_OBJECT

 public:
  LogViewerDialog(Program& program, DialogHooks dialogs, QWidget* parent);

  // Shown: centred, the day's log in full, then followed every second.
  void StartFollowing();
  // One follow step: the caption and the lines added since the last step (all of them on a new day).
  void FollowLog();
  // "Real Time Log": back to following the day's log.
  void ShowRealTimeLog();
  // "View Log File": shows a chosen log file and stops following.
  void ViewLogFile();
  std::size_t shownLineCount() const { return follower_.shownLineCount(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  const std::vector<std::string>& Log() const;
  bool RefreshRunning() const;
  void ShowLiveCaption();
  void Append(const std::vector<std::string>& lines);

  Program& program_;
  DialogHooks dialogs_;
  QPlainTextEdit* logText_ = nullptr;      // Memo1
  QPushButton* realTimeButton_ = nullptr;  // Button1
  QPushButton* viewFileButton_ = nullptr;  // Button2
  QTimer* followTimer_ = nullptr;          // Timer1
  LogFollower follower_;
  QString chosenPath_;
  // The service's day log, for a window that is its client; kept when the service cannot be asked.
  mutable std::vector<std::string> serviceLines_;
};

}  // namespace rur::ui
