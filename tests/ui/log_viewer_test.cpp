// SPDX-License-Identifier: GPL-3.0-or-later
// The event log viewer against the program's live log: each line once, following new lines,
// starting over on a new day, pausing, showing a chosen file, and one viewer at a time.

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "gui_fixture.h"
#include "gui_test_registry.h"
#include "monitor/event_log.h"
#include "window/log_viewer.h"

namespace rur::ui::test {
namespace {

QStringList MemoLines(LogViewerDialog* viewer) {
  const QString text = viewer->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QStringList LogLines(GuiRun& run) {
  QStringList lines;
  for (const std::string& line : run.program.eventLog().lines()) lines << QString::fromStdString(line);
  return lines;
}

LogViewerDialog* OpenViewer(GuiRun& run) {
  QTest::mouseClick(run.find("Image0_Log"), Qt::LeftButton);
  return run.window.openViewer();
}

// A rebuild that logs a line every cycle, two minutes before midnight.
const char* kRebuildBeforeMidnight = R"({
  "start": "2026-03-14 23:58:00",
  "drives": [{
    "number": 0, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "mirroring",
    "members": [{"capacity": 1000000000}, {"capacity": 1000000000}],
    "rebuild": {"member": "HDD2", "position": 0, "speed": 2000000}
  }]
})";

}  // namespace

class LogViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void showsEachLineOnceAndFollowsTheLog() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    run.run(40000);  // HDD2 pulled at 30 s
    LogViewerDialog* viewer = OpenViewer(run);
    QVERIFY(viewer);
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - Real Time"));
    QVERIFY(LogLines(run).size() > 3);
    QCOMPARE(MemoLines(viewer), LogLines(run));
    QVERIFY(MemoLines(viewer).filter(QStringLiteral("HDD2 was removed")).size() == 1);

    // The button opens no second viewer while one is shown.
    run.window.OpenLogViewer();
    QCOMPARE(run.window.findChildren<LogViewerDialog*>().size(), 1);
    QCOMPARE(run.window.openViewer(), viewer);

    const auto before = LogLines(run).size();
    run.run(30000);  // put back at 60 s, rebuilt from 65 s
    QVERIFY(LogLines(run).size() > before);
    auto* timer = viewer->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(MemoLines(viewer), LogLines(run), 2500);

    viewer->close();
    QTRY_VERIFY(!run.window.openViewer());
    QVERIFY(OpenViewer(run));
  }

  void refillsAfterANewDay() {
    GuiRun run(kRebuildBeforeMidnight);
    QVERIFY2(run.opened, qPrintable(run.openError));
    QVERIFY(run.detect());
    run.run(100000);
    LogViewerDialog* viewer = OpenViewer(run);
    const auto shownBefore = MemoLines(viewer).size();
    QVERIFY(shownBefore > 10);

    run.run(30000);  // past midnight: the log starts over in a new day file
    QVERIFY(LogLines(run).size() < shownBefore);
    viewer->FollowLog();
    QCOMPARE(MemoLines(viewer), LogLines(run));
    QCOMPARE(viewer->shownLineCount(), static_cast<std::size_t>(LogLines(run).size()));
  }

  void pausesWhileMonitoringIsOff() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    run.run(6000);
    LogViewerDialog* viewer = OpenViewer(run);
    auto* memo = viewer->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    const QColor live = memo->palette().color(QPalette::Text);

    EngineTestAccess::Marks(run.engine()).OperationBusy = true;  // an upgrade disarms monitoring at the next tick
    run.run(5000);
    viewer->FollowLog();
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - Real Time( Paused )"));
    QVERIFY(memo->palette().color(QPalette::Text) != live);

    EngineTestAccess::Marks(run.engine()).OperationBusy = false;
    run.run(5000);
    viewer->FollowLog();
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - Real Time"));
    QCOMPARE(memo->palette().color(QPalette::Text), live);

    // The lines are selected and copied by keyboard; typing changes nothing.
    const QString shown = memo->toPlainText();
    QVERIFY(!shown.isEmpty());
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("x"));
    QTest::keyClick(memo, Qt::Key_Delete);
    QCOMPARE(memo->toPlainText(), shown);
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), shown);
  }

  void viewsAChosenFileUntilRealTimeIsPressed() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    run.run(6000);
    LogViewerDialog* viewer = OpenViewer(run);
    auto* viewFile = viewer->findChild<QPushButton*>(QStringLiteral("Button2"));
    auto* realTime = viewer->findChild<QPushButton*>(QStringLiteral("Button1"));
    auto* timer = viewer->findChild<QTimer*>(QStringLiteral("Timer1"));

    const QString older = run.dir.filePath(QStringLiteral("160506.log"));
    {
      QFile file(older);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("first line\r\nsecond line\r\n");
    }
    run.chosenFiles.push_back(older);
    viewFile->click();
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - 160506.log"));
    QCOMPARE(MemoLines(viewer), QStringList({QStringLiteral("first line"), QStringLiteral("second line")}));
    QVERIFY(!timer->isActive());
    run.run(30000);  // new events stay off the screen
    QCOMPARE(MemoLines(viewer).size(), 2);

    realTime->click();
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - Real Time"));
    QCOMPARE(MemoLines(viewer), LogLines(run));
    QVERIFY(timer->isActive());

    // A file that cannot be read, or is not text, is reported and the view goes on following the
    // day's log, as its caption says; so does a cancelled choice.
    run.chosenFiles.push_back(run.dir.filePath(QStringLiteral("missing.log")));
    viewFile->click();
    QCOMPARE(run.messages.size(), std::size_t{1});
    QCOMPARE(run.messages[0].caption, QStringLiteral("Error"));
    QVERIFY(run.messages[0].text.contains(QStringLiteral("missing.log")));
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - Real Time"));
    QCOMPARE(MemoLines(viewer), LogLines(run));
    QVERIFY(timer->isActive());

    const QString binary = run.dir.filePath(QStringLiteral("dSMART00.bin"));
    QFile file(binary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x7f\x00\x01\x02garbage\x00\x00", 14));
    file.close();
    run.chosenFiles.push_back(binary);
    viewFile->click();
    QCOMPARE(run.messages.size(), std::size_t{2});
    QCOMPARE(run.messages[1].text, QStringLiteral("dSMART00.bin is not a text file."));
    QCOMPARE(MemoLines(viewer), LogLines(run));

    viewFile->click();  // cancelled
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Event log - Real Time"));
    QVERIFY(timer->isActive());
    // Both choices started in the data folder, where the logs are.
    QVERIFY(!run.chooserFolders.empty());
    for (const QString& folder : run.chooserFolders) QCOMPARE(folder, run.dir.path());
  }
};

RUR_GUI_TEST(LogViewerTest);

}  // namespace rur::ui::test

#include "log_viewer_test.moc"
