// SPDX-License-Identifier: GPL-3.0-or-later
// The status page on simulated enclosures: what a mirrored pair shows, how a pulled member, a
// rebuild and a second enclosure change it, and the device controls.

#include <QCheckBox>
#include <QtTest>

#include "gui_fixture.h"
#include "gui_test_registry.h"
#include "window/artwork.h"
#include "window/status_page_widget.h"

namespace rur::ui::test {
namespace {

QColor TextColour(QLabel* label) { return label->palette().color(QPalette::Active, QPalette::WindowText); }

const QColor kNavyText{0x00, 0x00, 0x80};
const QColor kBlueText{0x00, 0x00, 0xFF};

const char* kRebuildingHdd1 = R"({
  "start": "2026-03-14 09:00:00",
  "drives": [{
    "number": 0, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "mirroring",
    "members": [{"model": "KESTREL KD500", "capacity": 1000000000}, {"model": "KESTREL KD500", "capacity": 1000000000}],
    "rebuild": {"member": "HDD1", "position": 370000000, "speed": 1}
  }]
})";

// Three enclosures; the first stops answering at 20 s and never answers again.
const char* kThreeOneSilent = R"({
  "start": "2026-03-14 09:00:00",
  "drives": [
    {"number": 0, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID"},
    {"number": 1, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "striping"},
    {"number": 2, "type": "enclosure", "productName": "RODE RUR Dual Bay RAID", "mode": "jbod"}
  ],
  "faults": [{"drive": 0, "kind": "transport", "from": 20}]
})";

}  // namespace

class StatusPageTest : public QObject {
  Q_OBJECT

 private slots:
  void mirroredEnclosure() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    QCOMPARE(run.text("Label17"), QStringLiteral("Mirroring(RAID1)"));
    QCOMPARE(run.text("Label27"), QStringLiteral("931 GB"));
    for (const char* capacity : {"Label25", "Label26"}) {
      QCOMPARE(run.text(capacity), QStringLiteral("931 GB\n"));
      QCOMPARE(TextColour(run.find(capacity)), kNavyText);
      QVERIFY(run.find(capacity)->isEnabled());
    }
    QCOMPARE(run.text("Label51"), QStringLiteral("KESTREL KD1000SX"));
    QCOMPARE(run.text("Label52"), QStringLiteral("KESTREL KD1000SX"));
    QCOMPARE(run.text("Label18"), QStringLiteral("Normal"));
    QCOMPARE(run.text("Label48"), QStringLiteral("140315.0"));
    QVERIFY(run.find<QWidget>("Panel11")->isVisible());
    QCOMPARE(run.text("Label5"), QStringLiteral("2650"));
    QCOMPARE(run.text("Label7"), QStringLiteral("37"));
    QCOMPARE(TextColour(run.find("Label5")), kBlueText);
    QVERIFY(run.find("Image0_D1")->isVisible());
    QVERIFY(!run.find("Image0_D2")->isVisible());
    QCOMPARE(run.find("Image0_D1")->toolTip(), QStringLiteral("RODE RUR Dual Bay RAID [sdb1]"));
  }

  void pulledMemberThenRebuild() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    run.run(40000);  // HDD2 was pulled at 30 s
    QVERIFY(!run.find("Label26")->isEnabled());
    QVERIFY(!run.find("Label52")->isEnabled());
    QCOMPARE(run.text("Label26"), QStringLiteral("931 GB\n"));  // the last disk's facts, in grey
    QVERIFY(run.find("Label25")->isEnabled());
    QCOMPARE(run.text("Label18"), QStringLiteral("Single HDD\nPresent"));
    QCOMPARE(TextColour(run.find("Label18")), colours::kWarning);

    run.run(30000);  // back at 60 s, rebuilt from 65 s
    QVERIFY2(run.text("Label18").endsWith(QStringLiteral("%\n>>>>\nRebuilding")), qPrintable(run.text("Label18")));
    QVERIFY(TextColour(run.find("Label18")) != colours::kWarning);
    QVERIFY(run.find("Label26")->isEnabled());
    QVERIFY(run.find("Image0_Log")->isVisible());
  }

  // A failed member, a hot enclosure and a stopped fan stand out in the error colour; the texts stay.
  void badStatesInColour() {
    GuiRun run("faults");
    QVERIFY(run.detect());
    QCOMPARE(TextColour(run.find("Label7")), kBlueText);
    run.run(125000);
    QCOMPARE(run.text("Label18"), QStringLiteral("Single HDD\nPresent"));
    QCOMPARE(TextColour(run.find("Label18")), colours::kWarning);
    QCOMPARE(run.text("Label7"), QStringLiteral("58"));
    QCOMPARE(TextColour(run.find("Label7")), colours::kError);
    QCOMPARE(run.text("Label5"), QStringLiteral("0"));
    QCOMPARE(TextColour(run.find("Label5")), colours::kError);
  }

  // A 40-character model stays within its card, on two lines at most, whole in the tooltip.
  void longModelNameIsElided() {
    GuiRun run(R"({"start": "2026-03-14 09:00:00", "drives": [{"number": 0, "type": "enclosure",
      "members": [{"model": "WESTERLY DIGITAL ULTRASTAR HC550 DC 18TB", "capacity": 1000000000},
                  {"model": "KESTREL KD500", "capacity": 1000000000}]}]})");
    QVERIFY2(run.opened, qPrintable(run.openError));
    QVERIFY(run.detect());
    QLabel* model = run.find("Label51");
    QCOMPARE(model->toolTip(), QStringLiteral("WESTERLY DIGITAL ULTRASTAR HC550 DC 18TB"));
    const QStringList lines = model->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    for (const QString& line : lines) QVERIFY(model->fontMetrics().horizontalAdvance(line) <= model->width());
    QVERIFY(lines[1].endsWith(QChar(0x2026)));
    QCOMPARE(run.find("Label52")->toolTip(), QString());
  }

  void rebuildTowardsHdd1ShowsItsProgress() {
    GuiRun run(kRebuildingHdd1);
    QVERIFY2(run.opened, qPrintable(run.openError));
    QVERIFY(run.detect());
    QCOMPARE(run.text("Label18"), QStringLiteral("37%\n<<<<\nRebuilding"));
    run.run(6000);
    QCOMPARE(run.text("Label18"), QStringLiteral("37%\n<<<<\nRebuilding"));
    QCOMPARE(run.text("Label25"), QStringLiteral("476 GB\n"));
  }

  void switchingBetweenTwoEnclosures() {
    GuiRun run("two-enclosures");
    QVERIFY(run.detect());
    QVERIFY(run.find("Image0_D1")->isVisible());
    QVERIFY(run.find("Image0_D2")->isVisible());
    QVERIFY(run.text("Label18").endsWith(QStringLiteral("%\n<<<<\nRebuilding")));
    const QString firstCaption = run.window.windowTitle();
    QVERIFY(firstCaption.endsWith(QStringLiteral(" - RODE RUR Dual Bay RAID [sdb1]")));

    QCOMPARE(run.text("RedundancyNote"), QString());
    QTest::mouseClick(run.find("Image0_D2"), Qt::LeftButton);
    QCOMPARE(run.engine().selectedDevice(), 1u);
    QCOMPARE(run.text("Label17"), QStringLiteral("Striping(RAID0)"));
    QCOMPARE(run.text("RedundancyNote"), QStringLiteral("One failing disk loses the whole array."));
    QCOMPARE(run.text("Label27"), QStringLiteral("931 GB"));
    QCOMPARE(run.text("Label25"), QStringLiteral("465 GB\n"));
    QCOMPARE(run.text("Label26"), QStringLiteral("465 GB\n"));
    QCOMPARE(run.text("Label51"), QStringLiteral("ORIOLE OR500"));
    QCOMPARE(run.text("Label52"), QStringLiteral("ORIOLE OR500"));
    QCOMPARE(run.text("Label18"), QStringLiteral("Normal"));
    QCOMPARE(run.text("Label5"), QStringLiteral("2400"));
    QCOMPARE(run.text("Label7"), QStringLiteral("35"));
    QVERIFY(run.window.windowTitle().endsWith(QStringLiteral(" - RODE RUR Dual Bay RAID [sdc1]")));
    QCOMPARE(run.find("Image0_D2")->pixmap().cacheKey(), run.find("Image0_D2_Yellow")->pixmap().cacheKey());
    QCOMPARE(run.find("Image0_D1")->pixmap().cacheKey(), run.find("Image0_D1_White")->pixmap().cacheKey());

    QTest::mouseClick(run.find("Image0_D1"), Qt::LeftButton);
    QCOMPARE(run.text("Label17"), QStringLiteral("Mirroring(RAID1)"));
    QCOMPARE(run.text("RedundancyNote"), QString());
    QCOMPARE(run.text("Label51"), QStringLiteral("KESTREL KD1000SX"));
    QVERIFY(run.text("Label18").endsWith(QStringLiteral("%\n<<<<\nRebuilding")));
    QCOMPARE(run.window.windowTitle(), firstCaption);

    // Device2 is unplugged while shown: the page moves to Device1 and shows its disks, not the
    // vanished enclosure's, although both had the same disks present.
    QTest::mouseClick(run.find("Image0_D2"), Qt::LeftButton);
    QCOMPARE(run.text("Label51"), QStringLiteral("ORIOLE OR500"));
    run.run(50000);
    QCOMPARE(run.engine().selectedDevice(), 0u);
    QCOMPARE(run.text("Label17"), QStringLiteral("Mirroring(RAID1)"));
    QCOMPARE(run.text("Label51"), QStringLiteral("KESTREL KD1000SX"));
    QCOMPARE(run.text("Label52"), QStringLiteral("KESTREL KD1000SX"));
    QCOMPARE(run.text("Label26"), QStringLiteral("931 GB\n"));
  }

  void thirdEnclosureAndOneThatStopsAnswering() {
    GuiRun run(kThreeOneSilent);
    QVERIFY(run.detect());
    auto* others = run.find("otherDevicesButton");
    QVERIFY(others->isVisible());
    QVERIFY(others->toolTip().startsWith(QStringLiteral("Device3  RODE RUR Dual Bay RAID [sdc1]")));
    run.find<StatusPageWidget>("Panel3")->SelectDevice(2);
    QCOMPARE(run.engine().selectedDevice(), 2u);
    QCOMPARE(run.text("Label17"), QStringLiteral("JBOD"));

    QTest::mouseClick(run.find("Image0_D1"), Qt::LeftButton);
    run.run(100000);
    // Not the frozen values: the page says the enclosure does not answer, and the box stays ticked.
    QCOMPARE(run.text("Label18"), QStringLiteral("Not\nanswering"));
    QVERIFY(run.find("statusNotice")->isVisible());
    QVERIFY(run.text("statusNotice").startsWith(QStringLiteral("Not answering: the ")));
    QVERIFY(!run.find<QWidget>("Panel11")->isVisible());
    QVERIFY(!run.find("Label25")->isEnabled());
    QVERIFY(run.find<QCheckBox>("CheckBox1")->isChecked());
  }

  void deviceCheckBoxes() {
    GuiRun run("two-enclosures");
    QVERIFY(run.detect());
    auto* first = run.find<QCheckBox>("CheckBox1");
    auto* second = run.find<QCheckBox>("CheckBox3");

    first->click();  // unticked: the other device is shown
    QVERIFY(!run.engine().deviceChecked(0));
    QVERIFY(!run.find("Image0_D1")->isVisible());
    QCOMPARE(run.engine().selectedDevice(), 1u);
    QCOMPARE(run.text("Label17"), QStringLiteral("Striping(RAID0)"));

    second->click();  // neither ticked: the page keeps what it shows
    QVERIFY(!run.find("Image0_D2")->isVisible());
    QCOMPARE(run.text("Label17"), QStringLiteral("Striping(RAID0)"));

    first->click();
    QVERIFY(run.find("Image0_D1")->isVisible());
    QCOMPARE(run.engine().selectedDevice(), 0u);
    QCOMPARE(run.text("Label17"), QStringLiteral("Mirroring(RAID1)"));
    QVERIFY(first->isChecked());
    QVERIFY(!second->isChecked());
  }
};

RUR_GUI_TEST(StatusPageTest);

}  // namespace rur::ui::test

#include "status_page_test.moc"
