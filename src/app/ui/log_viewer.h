#pragma once
// The event log viewer: follows the day's log live, greyed and marked paused while monitoring is
// off, and can show any log file instead.

#include <QDialog>

#include "app/ui/dialogs.h"
#include "monitor/log_viewer_model.h"

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace rur {
class Program;
}

namespace rur::ui {

class TForm5 : public QDialog {
  Q_OBJECT

 public:
  TForm5(Program& program, DialogHooks dialogs, QWidget* parent);

  void FormShow();
  void Timer1Timer();
  void Button1Click();
  void Button2Click();
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
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QTimer* Timer1 = nullptr;
  LogFollower follower_;
  QString chosenPath_;
};

}  // namespace rur::ui
