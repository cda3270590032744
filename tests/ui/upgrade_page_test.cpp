// SPDX-License-Identifier: GPL-3.0-or-later
// The Upgrade page on simulated enclosures: picking a device, loading good and bad images, and a
// whole upgrade with what the window refuses while it runs and what it says at the end.

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <fstream>
#include <set>

#include "../firmware/firmware_test_support.h"
#include "gui_fixture.h"
#include "gui_test_registry.h"
#include "monitor/event_log.h"
#include "window/image_button.h"
#include "window/status_page_widget.h"
#include "window/upgrade_page_widget.h"

namespace rur::ui::test {
namespace {

const QString kCompleted = QStringLiteral(
    "Firmware Upgrade 3/3 completed!\n\nPlease power off this device or the system,"
    "\nand power on it to enable the new firmware!");

// The demo enclosure: firmware type 1, version 14031510h, product 27h 60h.
rur::test::ImageSpec DemoImage(std::uint32_t length = 40000) {
  return {.length = length, .firmwareType = 0x01, .version = 0x14040110, .productCode = {0x27, 0x60}};
}

QString WriteImage(GuiRun& run, const QString& name, std::vector<std::uint8_t> bytes) {
  const QString path = run.dir.filePath(name);
  std::ofstream(path.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

void Load(GuiRun& run, const QString& path) {
  run.chosenFiles.push_back(path);
  QTest::mouseClick(run.find("Image2_Load"), Qt::LeftButton);
}

bool ShowsPicture(GuiRun& run, const char* button, const QString& source) {
  return run.find<QLabel>(button)->pixmap().cacheKey() == run.window.findChild<QLabel*>(source)->pixmap().cacheKey();
}

// A demo-like enclosure whose flash suffers one fault.
std::string FaultyEnclosure(const std::string& fault) {
  return R"({"drives": [{"number": 1, "type": "enclosure", "firmware": {"version": "0x14031510", "type": 1}}],
             "faults": [)" +
         fault + "]}";
}

}  // namespace

class UpgradePageTest : public QObject {
  Q_OBJECT

 private slots:
  void loadingShowsTheImageOrRefusesIt() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    QTest::mouseClick(run.find("Image_FWUpg"), Qt::LeftButton);
    QCOMPARE(run.find<QStackedWidget>("Notebook1")->currentWidget()->objectName(), QStringLiteral("UpgradePage"));
    QCOMPARE(run.text("Label54"), run.text("Label48"));
    QVERIFY(ShowsPicture(run, "Image2_D1", QStringLiteral("Image0_D1_Yellow")));
    QVERIFY(run.find("Image2_D1")->isVisible());
    QVERIFY(!run.find("Image2_D2")->isVisible());  // the demo has one enclosure
    QVERIFY(run.find("Panel1")->isHidden());

    const auto good = rur::test::MakeImage(DemoImage());
    const QString goodPath = WriteImage(run, QStringLiteral("good.bin"), good);
    Load(run, goodPath);
    QVERIFY(run.messages.empty());
    const std::uint32_t sum = ImageChecksum(good.data(), good.size());
    QCOMPARE(run.panel(0),
             QStringLiteral("Chksum:") + QStringLiteral("%1").arg(sum, 8, 16, QLatin1Char('0')).toUpper());
    QCOMPARE(run.panel(2), QStringLiteral("F:14031510"));
    QCOMPARE(run.panel(3), QStringLiteral("C:14040110"));
    QCOMPARE(run.panel(4), QStringLiteral("File:") + goodPath);
    QCOMPARE(run.find<QLineEdit>("Edit9")->text(), goodPath);
    const QString checksum = run.panel(0);
    run.run(12000);  // refreshes go on: the checksum stays on the page until the next load
    QCOMPARE(run.text("ChecksumLabel"), checksum);

    // A cancelled dialog keeps the image.
    QTest::mouseClick(run.find("Image2_Load"), Qt::LeftButton);
    QVERIFY(EngineTestAccess::Firmware(run.engine()).image().loaded());

    // A refused image leaves none, even after a good one: Upgrade then asks for a file.
    auto badGuid = rur::test::MakeImage(DemoImage());
    badGuid[image_offset::kGuid] ^= 0xFF;
    const QString badPath = WriteImage(run, QStringLiteral("guid.bin"), badGuid);
    Load(run, badPath);
    QCOMPARE(run.messages.size(), std::size_t{1});
    QCOMPARE(run.messages[0].text, QStringLiteral("Threr are GUID error in the firmware file.\nPlease check it."));
    QCOMPARE(run.messages[0].caption, QStringLiteral("Error"));
    QCOMPARE(run.find<QLineEdit>("Edit9")->text(), QString());  // not the file an upgrade would write
    QCOMPARE(run.chooserFolders.back(), run.dir.path());        // the folder of the last file chosen
    QTest::mouseClick(run.find("Image2_Upgrade"), Qt::LeftButton);
    QCOMPARE(run.messages.size(), std::size_t{2});
    QCOMPARE(run.messages[1].text, QStringLiteral("Please Load Firmware File First "));
    QCOMPARE(run.messages[1].caption, QStringLiteral("Message"));
    QVERIFY(run.find("Panel1")->isHidden());
    QVERIFY(!run.engine().UpgradeRunning());
    QVERIFY(run.find<QCheckBox>("CheckBox1")->isEnabled());
  }

  void upgradeRunsTheThreeProcessesAndRefusesEverythingElse() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    QTest::mouseClick(run.find("Image_FWUpg"), Qt::LeftButton);
    Load(run, WriteImage(run, QStringLiteral("fw.bin"), rur::test::MakeImage(DemoImage())));
    QVERIFY(run.messages.empty());

    // The user is asked first, with both versions; a No leaves the flash untouched.
    const std::optional<UpgradeVersions> versions = run.engine().PickedUpgradeVersions();
    QVERIFY(versions && versions->current != versions->next);
    run.confirmAnswer = false;
    QTest::mouseClick(run.find("Image2_Upgrade"), Qt::LeftButton);
    QCOMPARE(run.questions.size(), std::size_t{1});
    for (const std::string& part : {std::string("Device1"), "Current firmware version: " + versions->current,
                                    "New firmware version: " + versions->next, std::string("Do not unplug")})
      QVERIFY2(run.questions[0].contains(QString::fromStdString(part)), part.c_str());
    QVERIFY(run.messages.empty());
    QVERIFY(run.engine().eventLog()->lines().empty() ||
            run.engine().eventLog()->lines().back().find("Firmware upgrade") == std::string::npos);
    run.confirmAnswer = true;
    // A SIGTERM during the run is held until the flash is consistent; then the window ends.
    QSignalSpy endRequested(run.window.upgradePage(), &UpgradePageWidget::endRequested);
    disconnect(run.window.upgradePage(), &UpgradePageWidget::endRequested, &run.window, nullptr);

    auto* bar = run.find<QProgressBar>("ProgressBar1");
    auto* page = run.window.upgradePage();
    std::set<QString> captions;
    int highestProgress = 0;
    bool refusalsTried = false;
    std::size_t messagesDuringRun = 0;
    // Runs whenever the upgrade lets the window handle its events, as the window's own timer would.
    QTimer during;
    during.setInterval(0);
    connect(&during, &QTimer::timeout, &during, [&] {
      if (!run.engine().UpgradeRunning()) return;
      run.engine().Step();  // Timer1 feeds the progress bar
      if (!run.find("Panel1")->isHidden()) captions.insert(run.text("Panel1"));
      highestProgress = std::max(highestProgress, bar->value());
      if (refusalsTried || run.find("Panel1")->isHidden()) return;
      refusalsTried = true;
      std::raise(SIGTERM);
      QVERIFY(!run.find<QCheckBox>("CheckBox1")->isEnabled());
      QVERIFY(!run.find("Image2_D1")->isEnabled());
      QVERIFY(!run.find("Image2_Load")->isEnabled());
      QCOMPARE(run.text("Label12"), QStringLiteral("Firmware Update..."));
      QTest::mouseClick(run.find("Image2_Upgrade"), Qt::LeftButton);  // a second click returns at once
      page->PickDevice(1);
      QCOMPARE(run.engine().firmware().pickedDevice(), 0u);
      run.chosenFiles.push_back(QStringLiteral("/nonexistent.bin"));
      page->LoadFirmwareFile();
      QCOMPARE(run.chosenFiles.size(), std::size_t{1});  // no dialog was opened
      run.chosenFiles.clear();
      QTest::mouseClick(run.find("Image_SMART"), Qt::LeftButton);
      QCOMPARE(run.engine().currentPage(), kPageUpgrade);
      QVERIFY(!run.window.close());
      messagesDuringRun = run.messages.size();
    });
    during.start();
    QTest::mouseClick(run.find("Image2_Upgrade"), Qt::LeftButton);
    during.stop();

    QVERIFY(refusalsTried);
    QCOMPARE(endRequested.count(), 1);
    // The day log names the upgrade as it started and its outcome.
    const std::vector<std::string>& log = run.engine().eventLog()->lines();
    const std::string subject = "D1 Firmware upgrade from " + versions->current + " to " + versions->next;
    const auto logged = [&](const std::string& text) {
      return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(text, 0) == 0; });
    };
    QVERIFY(logged(subject + " started"));
    QVERIFY(logged(subject + " succeeded"));
    QCOMPARE(messagesDuringRun, std::size_t{1});
    QCOMPARE(run.messages.size(), std::size_t{2});
    QCOMPARE(run.messages[0].text, QStringLiteral("Firmware is upgrading, please wait a moment."));
    QCOMPARE(run.messages[1].text, kCompleted);
    QCOMPARE(run.messages[1].caption, QStringLiteral("Firmware Upgrade Message"));
    QCOMPARE(run.messages[1].kind, MessageKind::Exclamation);
    QCOMPARE(captions, (std::set<QString>{QStringLiteral("Process 1 / 3"), QStringLiteral("Process 2 / 3"),
                                          QStringLiteral("Process 3 / 3")}));
    QCOMPARE(bar->maximum(), 680);  // 40,000 bytes: erase extent A000h
    QVERIFY(highestProgress > 0);
    QCOMPARE(run.panel(4), QStringLiteral("SPI Verify OK"));
    QVERIFY(run.window.isVisible());

    // Everything is back as before the run.
    QVERIFY(run.find("Panel1")->isHidden());
    QVERIFY(run.find("Image2_D1")->isEnabled());
    QVERIFY(run.find("Image2_Load")->isEnabled());
    QVERIFY(run.find<QCheckBox>("CheckBox1")->isEnabled());
    QCOMPARE(EngineTestAccess::Marks(run.engine()).UpgradeTarget.load(), kNoDevice);
    QTest::mouseClick(run.find("Image_Sts"), Qt::LeftButton);
    QCOMPARE(run.engine().currentPage(), kPageStatus);
  }

  // A user clicks the close button during an upgrade and walks away from the refusal: the box stays
  // open, and the upgrade must still run to its end meanwhile.
  void closeRefusalLeftOpenDoesNotStopTheUpgrade() {
    GuiRun run("demo");
    run.realOpenBoxes = true;
    QVERIFY(run.detect());
    QTest::mouseClick(run.find("Image_FWUpg"), Qt::LeftButton);
    Load(run, WriteImage(run, QStringLiteral("fw.bin"), rur::test::MakeImage(DemoImage(16384))));
    auto* bar = run.find<QProgressBar>("ProgressBar1");
    int progressWhenRefused = -1;
    int progressAfter = -1;
    QTimer during;
    during.setInterval(0);
    connect(&during, &QTimer::timeout, &during, [&] {
      if (!run.engine().UpgradeRunning() || run.find("Panel1")->isHidden()) return;
      run.engine().Step();
      if (progressWhenRefused < 0) {
        QVERIFY(!run.window.close());
        progressWhenRefused = run.engine().firmware().progressCount();
      } else {
        progressAfter = std::max(progressAfter, run.engine().firmware().progressCount());
      }
    });
    during.start();
    QTest::mouseClick(run.find("Image2_Upgrade"), Qt::LeftButton);
    during.stop();

    QVERIFY(progressWhenRefused >= 0);
    QVERIFY(progressAfter > progressWhenRefused);
    QCOMPARE(run.panel(4), QStringLiteral("SPI Verify OK"));
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(run.messages.size(), std::size_t{2});
    QCOMPARE(run.messages[0].text, QStringLiteral("Firmware is upgrading, please wait a moment."));
    QVERIFY(run.messages[0].leftOpen);
    QCOMPARE(run.messages[1].text, kCompleted);
    // The refusal is still on the screen: nobody has clicked it.
    bool refusalOpen = false;
    for (QMessageBox* box : run.window.findChildren<QMessageBox*>())
      refusalOpen = refusalOpen || (box->isVisible() && box->text() == run.messages[0].text);
    QVERIFY(refusalOpen);
    QVERIFY(!run.engine().UpgradeRunning());
    QVERIFY(run.window.isVisible());
  }

  void aFailingRunEndsWithTheStatusText() {
    const struct {
      std::string fault;
      QString text;
    } cases[] = {
        {R"({"drive": 1, "kind": "fail", "command": "spi-erase", "address": 12288, "times": 9})",
         QStringLiteral("SPI Erase Fail.")},
        {R"({"drive": 1, "kind": "spi-wont-program", "command": "spi-write", "address": 2048})",
         QStringLiteral("SPI Verify fail !!!")},
    };
    for (const auto& c : cases) {
      GuiRun run(FaultyEnclosure(c.fault));
      QVERIFY2(run.opened, qPrintable(run.openError));
      QVERIFY(run.detect());
      QTest::mouseClick(run.find("Image_FWUpg"), Qt::LeftButton);
      Load(run, WriteImage(run, QStringLiteral("fw.bin"), rur::test::MakeImage(DemoImage(8192))));
      QTest::mouseClick(run.find("Image2_Upgrade"), Qt::LeftButton);
      QCOMPARE(run.messages.size(), std::size_t{1});
      QCOMPARE(run.messages[0].text, c.text);
      QCOMPARE(run.messages[0].caption, QStringLiteral("Message"));
      QCOMPARE(run.panel(4), c.text);
      QVERIFY(run.find("Panel1")->isHidden());
      QVERIFY(run.find<QCheckBox>("CheckBox1")->isEnabled());
      QVERIFY(!run.engine().UpgradeRunning());
    }
  }

  // Any enclosure found can be picked, and opening the page aims at the one the status page showed.
  void pickingAnotherEnclosure() {
    GuiRun run(R"({"drives": [
        {"number": 1, "type": "enclosure", "firmware": {"version": "0x14031510", "type": 1}},
        {"number": 2, "type": "enclosure", "firmware": {"version": "0x14050610", "type": 1}},
        {"number": 3, "type": "enclosure", "firmware": {"version": "0x14060710", "type": 1}}]})");
    QVERIFY2(run.opened, qPrintable(run.openError));
    QVERIFY(run.detect());
    run.find<StatusPageWidget>("Panel3")->SelectDevice(2);
    QTest::mouseClick(run.find("Image_FWUpg"), Qt::LeftButton);
    QCOMPARE(run.engine().firmware().pickedDevice(), 2u);
    QCOMPARE(run.engine().selectedDevice(), 2u);
    QVERIFY(run.find("Image2_More")->isVisible());
    QCOMPARE(run.find("Image2_More")->toolTip(), QStringLiteral("Device3  RODE    RUR DUAL [sdd1]: Normal"));
    const QString firstVersion = run.text("Label54");
    QVERIFY(run.find("Image2_D2")->isVisible());

    QTest::mouseClick(run.find("Image2_D2"), Qt::LeftButton);
    QCOMPARE(run.engine().firmware().pickedDevice(), 1u);
    QCOMPARE(run.engine().selectedDevice(), 1u);
    QVERIFY(ShowsPicture(run, "Image2_D2", QStringLiteral("Image0_D2_Yellow")));
    QVERIFY(ShowsPicture(run, "Image2_D1", QStringLiteral("Image0_D1_White")));
    QVERIFY(run.text("Label54") != firstVersion);
    QCOMPARE(run.text("Label54"), QString::fromStdString(run.engine().revisionText()));

    // The image is checked against the picked enclosure.
    Load(run, WriteImage(run, QStringLiteral("fw.bin"), rur::test::MakeImage(DemoImage())));
    QCOMPARE(run.panel(2), QStringLiteral("F:14050610"));
  }
};

RUR_GUI_TEST(UpgradePageTest);

}  // namespace rur::ui::test

#include "upgrade_page_test.moc"
