// SPDX-License-Identifier: GPL-3.0-or-later
// The SMART page on simulated members: the grid's rows, colours and verdict, switching bays,
// the selection shown on the status bar, the countdown, the dump and the guards.

#include <QFile>
#include <QTableWidget>
#include <QtTest>

#include "gui_fixture.h"
#include "gui_test_registry.h"
#include "window/smart_page_widget.h"

namespace rur::ui::test {
namespace {

// HDD1 with one failing, one pending and one unknown attribute; HDD2 with the healthy defaults.
const char* kGradedMembers = R"({
  "start": "2026-03-14 09:00:00",
  "drives": [{
    "number": 0, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "mirroring",
    "members": [
      {"model": "KESTREL KD1000SX", "smart": [
        {"id": 1, "value": 100, "worst": 100, "threshold": 50},
        {"id": 5, "value": 100, "worst": 99, "threshold": 100},
        {"id": 197, "value": 100, "worst": 100, "threshold": 0, "raw": 1},
        {"id": 170, "value": 98, "worst": 97, "threshold": 10, "raw": "0x060504030201"}]},
      {"model": "ORIOLE OR500"}]
  }]
})";

QStringList Row(QTableWidget* grid, int row) {
  QStringList cells;
  for (int c = 0; c < grid->columnCount(); ++c) cells << grid->item(row, c)->text();
  return cells;
}

// The colour painted at the left edge of a cell, clear of its centred text.
QColor PaintedColour(QTableWidget* grid, int row, int column) {
  const QImage image = grid->viewport()->grab().toImage();
  return image.pixelColor(grid->columnViewportPosition(column) + 2, grid->rowViewportPosition(row) + 2);
}

void OpenSmartPage(GuiRun& run) {
  QVERIFY(run.detect());
  run.run(2000);  // the threshold and data passes that follow detection
  QTest::mouseClick(run.find("Image_SMART"), Qt::LeftButton);
}

}  // namespace

class SmartPageTest : public QObject {
  Q_OBJECT

 private slots:
  void gridShowsRowsColoursAndVerdict() {
    GuiRun run(kGradedMembers);
    QVERIFY2(run.opened, qPrintable(run.openError));
    OpenSmartPage(run);
    auto* grid = run.find<QTableWidget>("StringGrid3");
    QVERIFY(grid->isVisible());
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(Row(grid, 0), QStringList({"01-Raw read error rate", "100", "100", "50", "000000000000", "Good"}));
    QCOMPARE(Row(grid, 1), QStringList({"05-Reallocated sector count", "100", "99", "100", "000000000000", "Error"}));
    QCOMPARE(Row(grid, 2),
             QStringList({"C5-Current pending sector count", "100", "100", "0", "000000000001", "Alert"}));
    QCOMPARE(Row(grid, 3), QStringList({"AAh-UnKnown", "98", "97", "10", "060504030201", "Good"}));
    const std::vector<QColor> colours{Qt::white, Qt::red, Qt::yellow, Qt::white};
    for (int r = 0; r < 4; ++r) QCOMPARE(PaintedColour(grid, r, 3), colours[static_cast<std::size_t>(r)]);

    QCOMPARE(run.text("Label22"), QStringLiteral(" SMART - HDD1 : KESTREL KD1000SX"));
    QCOMPARE(run.text("Label23"), QStringLiteral(" Error "));
    QCOMPARE(run.find("Label23")->palette().color(QPalette::WindowText), QColor(0xFF, 0x00, 0x00));
    QCOMPARE(run.find<QTableWidget>("StringGrid4")->item(0, 3)->text(), QStringLiteral("Threshold"));
    // The first filled grid takes the focus on its first cell, which names the attribute below.
    QCOMPARE(grid->currentRow(), 0);
    QCOMPARE(run.panel(4), QStringLiteral("01-Raw read error rate"));
  }

  void switchingBaysRefillsTheGrid() {
    GuiRun run(kGradedMembers);
    OpenSmartPage(run);
    QTest::mouseClick(run.find("Image5_HDD2"), Qt::LeftButton);
    QCOMPARE(run.find("Image5_HDD2")->pixmap().cacheKey(), run.find("Image5_HDD2_Yellow")->pixmap().cacheKey());
    QCOMPARE(run.find("Image5_HDD1")->pixmap().cacheKey(), run.find("Image5_HDD1_White")->pixmap().cacheKey());
    auto* grid = run.find<QTableWidget>("StringGrid3");
    QVERIFY(grid->rowCount() > 4);
    QCOMPARE(run.text("Label22"), QStringLiteral(" SMART - HDD2 : ORIOLE OR500"));
    QCOMPARE(run.text("Label23"), QStringLiteral(" Good "));
    for (int r = 0; r < grid->rowCount(); ++r) QCOMPARE(grid->item(r, 5)->text(), QStringLiteral("Good"));
    QCOMPARE(PaintedColour(grid, 1, 3), QColor(Qt::white));

    // The bay stays chosen while other pages are visited; during an upgrade the buttons do nothing.
    QTest::mouseClick(run.find("Image_Sts"), Qt::LeftButton);
    QTest::mouseClick(run.find("Image_SMART"), Qt::LeftButton);
    QCOMPARE(run.text("Label22"), QStringLiteral(" SMART - HDD2 : ORIOLE OR500"));
    EngineTestAccess::Marks(run.engine()).UpgradeTarget = 0;
    QTest::mouseClick(run.find("Image5_HDD1"), Qt::LeftButton);
    QCOMPARE(run.text("Label22"), QStringLiteral(" SMART - HDD2 : ORIOLE OR500"));
    EngineTestAccess::Marks(run.engine()).UpgradeTarget = kNoDevice;
    QTest::mouseClick(run.find("Image5_HDD1"), Qt::LeftButton);
    QCOMPARE(run.text("Label23"), QStringLiteral(" Error "));
  }

  void selectingCellsShowsNameOrRawValue() {
    GuiRun run(kGradedMembers);
    OpenSmartPage(run);
    auto* grid = run.find<QTableWidget>("StringGrid3");
    grid->setCurrentCell(3, 4);
    QCOMPARE(run.panel(4), QStringLiteral("060504030201"));
    QCOMPARE(grid->toolTip(), QStringLiteral("060504030201"));
    grid->setCurrentCell(2, 0);
    QCOMPARE(run.panel(4), QStringLiteral("C5-Current pending sector count"));
    QCOMPARE(grid->toolTip(), QStringLiteral("C5-Current pending sector count"));
    grid->setCurrentCell(1, 2);
    QCOMPARE(run.panel(4), QStringLiteral("C5-Current pending sector count"));
    QVERIFY(grid->toolTip().isEmpty());
  }

  void emptyBayHidesTheGrid() {
    GuiRun run("bypass");  // HDD2's bay is empty until 40 s
    OpenSmartPage(run);
    QTest::mouseClick(run.find("Image5_HDD2"), Qt::LeftButton);
    QVERIFY(!run.find<QTableWidget>("StringGrid3")->isVisible());
    QVERIFY(run.find<QTableWidget>("StringGrid4")->isVisible());
    QVERIFY(run.text("Label23").isEmpty());
  }

  void countdownAndDump() {
    GuiRun run("demo");
    OpenSmartPage(run);
    run.run(3000);
    QVERIFY2(run.text("Label21").startsWith(QStringLiteral("Updates after ")), qPrintable(run.text("Label21")));
    QVERIFY(run.text("Label21").endsWith(QStringLiteral(" seconds.")));

    QTest::mouseDClick(run.find("Label21"), Qt::LeftButton);
    for (const char* name : {"dSMART00.bin", "sSMART00.bin"}) {
      QFile dump(run.dir.filePath(QString::fromLatin1(name)));
      QVERIFY2(dump.exists(), name);
      QCOMPARE(dump.size(), 1024);
    }
  }
};

RUR_GUI_TEST(SmartPageTest);

}  // namespace rur::ui::test

#include "smart_page_test.moc"
