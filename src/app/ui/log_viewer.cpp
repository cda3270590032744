#include "app/ui/log_viewer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/program.h"
#include "app/ui/artwork.h"
#include "app/ui/qt_text.h"
#include "monitor/event_log.h"

namespace rur::ui {
namespace {

constexpr int kWidth = 465;
constexpr int kHeight = 273;
constexpr int kMemoHeight = 241;
constexpr int kTimerMs = 1000;
const QColor kWindowText{0x00, 0x00, 0x00};
const QColor kGreyText{0x6D, 0x6D, 0x6D};

}  // namespace

TForm5::TForm5(Program& program, DialogHooks dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      program_(program),
      dialogs_(std::move(dialogs)) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("Event Log"));
  setFixedSize(kWidth, kHeight);
  setFont(WindowFont());

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(0, 0, kWidth, kMemoHeight);
  Memo1->setFont(WindowFont(13, true));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

  Button1 = new QPushButton(QStringLiteral("Real Time Log"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(6, kMemoHeight + 4, 120, 25);
  Button2 = new QPushButton(QStringLiteral("View Log File"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(kWidth - 126, kMemoHeight + 4, 120, 25);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kTimerMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  // FormCreate: an empty memo that counts the log as already seen.
  follower_.Fill(Log());
}

const std::vector<std::string>& TForm5::Log() const {
  static const std::vector<std::string> kNoLog;
  return program_.engine().eventLog ? program_.engine().eventLog->lines() : kNoLog;
}

bool TForm5::RefreshRunning() const { return program_.engine().refreshInProgress; }

void TForm5::ShowLiveCaption() {
  const bool armed = (program_.engine().requestFlags & MONITOR_ARMED) != 0;
  setWindowTitle(Q(LiveCaption(armed)));
  QPalette palette = Memo1->palette();
  palette.setColor(QPalette::Text, armed ? kWindowText : kGreyText);
  Memo1->setPalette(palette);
}

void TForm5::Append(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) Memo1->appendPlainText(Q(line));
}

void TForm5::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TForm5::FormShow() {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  ShowLiveCaption();
  Timer1->start();
  if (RefreshRunning()) {
    // The log may be half written: the first tick after the cycle fills the view.
    follower_.Forget();
    return;
  }
  Memo1->clear();
  Append(follower_.Fill(Log()).lines);
}

void TForm5::Timer1Timer() {
  ShowLiveCaption();
  if (RefreshRunning()) return;
  const LogViewStep step = follower_.Follow(Log());
  if (step.refill) Memo1->clear();
  Append(step.lines);
}

void TForm5::Button1Click() {
  Timer1->stop();
  ShowLiveCaption();
  Memo1->clear();
  Append(follower_.Fill(Log()).lines);
  Timer1->start();
}

void TForm5::Button2Click() {
  Timer1->stop();
  const QString path = dialogs_.chooseFile
                           ? dialogs_.chooseFile(this, QStringLiteral("Log File (*.log);;All File (*)"))
                           : QString();
  if (path.isEmpty()) return;
  std::string text;
  std::string error;
  if (!LoadLogFileText(Std(path), text, error)) {
    if (dialogs_.messageBox) dialogs_.messageBox(this, Q(error), QStringLiteral("Error"), MessageKind::Error);
    return;
  }
  QString shown = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  Memo1->setPlainText(shown);
  chosenPath_ = path;
  setWindowTitle(Q(FileCaption(Std(path))));
}

void TForm5::closeEvent(QCloseEvent* event) {
  Timer1->stop();
  QDialog::closeEvent(event);
}

}  // namespace rur::ui
