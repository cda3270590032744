// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/log_viewer.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/program.h"
#include "monitor/event_log.h"
#include "window/artwork.h"
#include "window/qt_text.h"

#include "window/service_log.h"
#include "window/window_palette.h"

namespace rur::ui {
namespace {

constexpr int kWidth = 465;
constexpr int kHeight = 273;
constexpr int kMemoHeight = 241;
constexpr int kTimerMs = 1000;
const QColor kWindowText{0x00, 0x00, 0x00};
const QColor kGreyText{0x6D, 0x6D, 0x6D};

// A log is text: no NUL bytes and hardly any other control characters than line ends and tabs.
bool LooksLikeText(const std::string& bytes) {
  std::size_t control = 0;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) return false;
    if (byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\t') ++control;
  }
  return control * 100 <= bytes.size();
}

}  // namespace

LogViewerDialog::LogViewerDialog(Program& program, DialogHooks dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      program_(program),
      dialogs_(std::move(dialogs)) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("Event Log"));
  setFixedSize(kWidth, kHeight);
  setFont(WindowFont());
  UseWindowPalette(this);

  logText_ = new QPlainTextEdit(this);
  logText_->setObjectName(QStringLiteral("Memo1"));
  logText_->setGeometry(0, 0, kWidth, kMemoHeight);
  logText_->setFont(WindowFont(13, true));
  logText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logText_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The log is read, selected and copied, never edited here: the day file is the record.
  logText_->setReadOnly(true);
  logText_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  logText_->setTabChangesFocus(true);

  realTimeButton_ = new QPushButton(QStringLiteral("Real Time Log"), this);
  realTimeButton_->setObjectName(QStringLiteral("Button1"));
  realTimeButton_->setGeometry(6, kMemoHeight + 4, 120, 25);
  viewFileButton_ = new QPushButton(QStringLiteral("View Log File"), this);
  viewFileButton_->setObjectName(QStringLiteral("Button2"));
  viewFileButton_->setGeometry(kWidth - 126, kMemoHeight + 4, 120, 25);
  connect(realTimeButton_, &QPushButton::clicked, this, [this] { ShowRealTimeLog(); });
  connect(viewFileButton_, &QPushButton::clicked, this, [this] { ViewLogFile(); });

  followTimer_ = new QTimer(this);
  followTimer_->setObjectName(QStringLiteral("Timer1"));
  followTimer_->setInterval(kTimerMs);
  connect(followTimer_, &QTimer::timeout, this, [this] { FollowLog(); });

  // A new viewer starts empty and counts the log as already seen.
  follower_.Fill(Log());
}

const std::vector<std::string>& LogViewerDialog::Log() const {
  static const std::vector<std::string> kNoLog;
  if (program_.relayed()) {
    std::vector<std::string> lines;
    std::string error;
    if (FetchServiceDayLog(lines, error)) serviceLines_ = std::move(lines);
    return serviceLines_;
  }
  const EventLogWriter* log = program_.engine().eventLog();
  return log ? log->lines() : kNoLog;
}

bool LogViewerDialog::RefreshRunning() const { return program_.engine().refreshInProgress(); }

void LogViewerDialog::ShowLiveCaption() {
  const bool armed = program_.engine().requests().armed();
  setWindowTitle(Q(LiveCaption(armed)));
  QPalette palette = logText_->palette();
  palette.setColor(QPalette::Text, armed ? kWindowText : kGreyText);
  logText_->setPalette(palette);
}

void LogViewerDialog::Append(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) logText_->appendPlainText(Q(line));
}

void LogViewerDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) StartFollowing();
}

void LogViewerDialog::StartFollowing() {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  ShowLiveCaption();
  followTimer_->start();
  if (RefreshRunning()) {
    // The log may be half written: the first tick after the cycle fills the view.
    follower_.Forget();
    return;
  }
  logText_->clear();
  Append(follower_.Fill(Log()).lines);
}

void LogViewerDialog::FollowLog() {
  ShowLiveCaption();
  if (RefreshRunning()) return;
  const LogViewStep step = follower_.Follow(Log());
  if (step.refill) logText_->clear();
  Append(step.lines);
}

void LogViewerDialog::ShowRealTimeLog() {
  followTimer_->stop();
  ShowLiveCaption();
  logText_->clear();
  Append(follower_.Fill(Log()).lines);
  followTimer_->start();
}

void LogViewerDialog::ViewLogFile() {
  followTimer_->stop();
  const QString path = dialogs_.chooseFile ? dialogs_.chooseFile(this, QStringLiteral("Log File (*.log);;All File (*)"),
                                                                 Q(program_.dataDirectory()))
                                           : QString();
  if (path.isEmpty()) {
    // Nothing else to show: the view goes on following the day's log, and its caption says so.
    ShowLiveCaption();
    followTimer_->start();
    return;
  }
  std::string text;
  std::string error;
  if (!LoadLogFileText(Std(path), text, error)) {
    if (dialogs_.messageBox) dialogs_.messageBox(this, Q(error), QStringLiteral("Error"), MessageKind::Error);
    ShowLiveCaption();
    followTimer_->start();
    return;
  }
  if (!LooksLikeText(text)) {
    if (dialogs_.messageBox)
      dialogs_.messageBox(this, QStringLiteral("%1 is not a text file.").arg(QFileInfo(path).fileName()),
                          QStringLiteral("Error"), MessageKind::Error);
    ShowLiveCaption();
    followTimer_->start();
    return;
  }
  QString shown = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  logText_->setPlainText(shown);
  chosenPath_ = path;
  setWindowTitle(Q(FileCaption(Std(path))));
}

void LogViewerDialog::closeEvent(QCloseEvent* event) {
  followTimer_->stop();
  QDialog::closeEvent(event);
}

}  // namespace rur::ui
