// SPDX-License-Identifier: GPL-3.0-or-later
// The frame of the main window: start-up, navigation and its guards, the pressed look, closing
// during an upgrade, the status bar and the command line.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "gui_fixture.h"
#include "gui_test_registry.h"
#include "platform/branding.h"
#include "window/command_line.h"
#include "window/desktop_notifier.h"
#include "window/display_check.h"
#include "window/image_button.h"
#include "window/instance_channel.h"
#include "window/tray_icon.h"

namespace rur::ui::test {
namespace {

const std::vector<const char*> kNavigation{"Image_Sts", "Image_FWUpg", "Image_Email", "Image_SMART", "Image_About"};

bool ShowsPicture(GuiRun& run, const char* button, const char* look) {
  const QString source = QString::fromLatin1(button) + QLatin1Char('_') + QString::fromLatin1(look);
  return run.find<QLabel>(button)->pixmap().cacheKey() == run.window.findChild<QLabel*>(source)->pixmap().cacheKey();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startUpEnablesThePagesAfterTheFirstDetection() {
    GuiRun run("demo");
    QVERIFY2(run.opened, qPrintable(run.openError));
    QCOMPARE(run.window.size(), QSize(620, 440));
    QCOMPARE(run.window.windowTitle(), QStringLiteral("RODE RUR v0.50.11-3"));
    for (const char* name : kNavigation) QVERIFY(!run.find<ImageButton>(name)->isEnabled());
    QCOMPARE(run.text("StaticText1"), QStringLiteral("Drive detecting"));
    QVERIFY(!run.find<QCheckBox>("CheckBox1")->isVisible());

    QVERIFY(run.detect());
    for (const char* name : kNavigation) QVERIFY(run.find<ImageButton>(name)->isEnabled());
    QVERIFY(!run.find("StaticText1")->isVisible());
    QVERIFY(run.find<QCheckBox>("CheckBox1")->isVisible());
    QVERIFY(run.find<QCheckBox>("CheckBox1")->isChecked());
    QVERIFY(!run.find<QCheckBox>("CheckBox3")->isVisible());
    // The first refresh follows the detection at once and writes its trace over "Detected OK".
    QVERIFY2(run.panel(1) == QStringLiteral("Detected OK") || run.panel(1).startsWith(QLatin1Char('y')),
             qPrintable(run.panel(1)));
    QCOMPARE(run.window.windowTitle(), QStringLiteral("RODE RUR v0.50.11-3 - RODE RUR Dual Bay RAID [sdb1]"));
    QVERIFY(run.find("Image0_Log")->isVisible());
  }

  // The folder for the metrics file comes from the settings, beside the mail settings.
  void theWindowWritesTheMetricsWhereItsSettingsSay() {
    QTemporaryDir metrics;
    GuiRun run("demo", "\"MetricsTextfileDir\"=\"" + metrics.path().toStdString() + "\"\n");
    QVERIFY2(run.opened, qPrintable(run.openError));
    QVERIFY(run.detect());
    run.run(40000);
    std::ifstream file(metrics.filePath(QStringLiteral("rode_rur.prom")).toStdString());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    QVERIFY2(text.find("bay=\"2\",state=\"absent\"} 1\n") != std::string::npos, text.c_str());
    QVERIFY(run.messages.empty());
  }

  void startUpWithoutAnEnclosure() {
    GuiRun run(R"({"drives": [{"number": 0, "type": "disk"}]})");
    QVERIFY2(run.opened, qPrintable(run.openError));
    QVERIFY(run.detect());
    QCOMPARE(run.text("StaticText1"), QStringLiteral("No Drive found! "));
    QVERIFY(run.find("StaticText1")->isVisible());
    for (const char* name : kNavigation) QVERIFY(!run.find<ImageButton>(name)->isEnabled());
    QVERIFY(!run.find<QCheckBox>("CheckBox1")->isVisible());
    QCOMPARE(run.window.windowTitle(), QStringLiteral("RODE RUR v0.50.11-3"));
  }

  void navigationLayoutAndPictures() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    // The five visible buttons close up in the column; the backup page has no button.
    const std::vector<int> expectedY{104, 160, 216, 272, 328};
    for (std::size_t i = 0; i < kNavigation.size(); ++i) QCOMPARE(run.find(kNavigation[i])->y(), expectedY[i]);
    QVERIFY(!run.find("Image_Setup")->isVisible());

    QTest::mouseClick(run.find("Image_SMART"), Qt::LeftButton);
    QCOMPARE(run.engine().currentPage(), 5);
    QCOMPARE(run.find<QStackedWidget>("Notebook1")->currentWidget()->objectName(), QStringLiteral("SmartPage"));
    QVERIFY(ShowsPicture(run, "Image_SMART", "Yellow"));
    for (const char* name : {"Image_Sts", "Image_FWUpg", "Image_Email", "Image_About", "Image_Setup"})
      QVERIFY2(ShowsPicture(run, name, "White"), name);

    // The Upgrade and E-mail pages open like the others.
    QTest::mouseClick(run.find("Image_FWUpg"), Qt::LeftButton);
    QCOMPARE(run.find<QStackedWidget>("Notebook1")->currentIndex(), 2);
    QTest::mouseClick(run.find("Image_Email"), Qt::LeftButton);
    QCOMPARE(run.find<QStackedWidget>("Notebook1")->currentIndex(), 3);
    QTest::mouseClick(run.find("Image_About"), Qt::LeftButton);
    QCOMPARE(run.text("Label63"), QStringLiteral("ZURA Zozavoveze Zivezeza"));
    QCOMPARE(run.text("Label65"), QStringLiteral("v0.50.11-3"));
    QTest::mouseClick(run.find("Image_Sts"), Qt::LeftButton);
    QCOMPARE(run.find<QStackedWidget>("Notebook1")->currentIndex(), 0);
    QVERIFY(ShowsPicture(run, "Image_Sts", "Yellow"));
    QVERIFY(ShowsPicture(run, "Image_SMART", "White"));
  }

  // Without a mouse: each page is reached from the navigation column by Tab and Enter; there Tab
  // and Shift+Tab each reach every control of the frame and the page (tables and text boxes let
  // go of Tab), every button has a name for screen readers, and Esc returns to the page's button.
  void keyboardAloneWalksEveryPage() {
    GuiRun run("two-enclosures");
    QVERIFY(run.detect());
    QApplication::setActiveWindow(&run.window);
    QVERIFY(QTest::qWaitForWindowActive(&run.window));
    run.find<QWidget>("Image_Sts")->setFocus();
    run.run(2000);  // the SMART table filled
    // Every Tab moves the focus on: none stays in a table or a text box.
    const auto walk = [](Qt::KeyboardModifiers modifiers) {
      QSet<QWidget*> reached;
      for (int step = 0; step < 150; ++step) {
        QWidget* before = QApplication::focusWidget();
        reached.insert(before);
        QTest::keyClick(before, Qt::Key_Tab, modifiers);
        if (QApplication::focusWidget() == before) reached.insert(nullptr);
      }
      return reached;
    };
    for (const char* page : kNavigation) {
      auto* navigation = run.find<ImageButton>(page);
      for (int step = 0; step < 150 && QApplication::focusWidget() != navigation; ++step)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), navigation);
      QTest::keyClick(navigation, Qt::Key_Return);
      auto* book = run.find<QStackedWidget>("Notebook1");
      QVERIFY2(book->currentIndex() == run.engine().currentPage() && book->currentWidget()->isVisible(), page);
      const QSet<QWidget*> forward = walk(Qt::NoModifier);
      const QSet<QWidget*> backward = walk(Qt::ShiftModifier);
      QVERIFY2(!forward.contains(nullptr) && !backward.contains(nullptr), page);
      for (QWidget* widget : run.window.findChildren<QWidget*>()) {
        if (!widget->isVisible() || !widget->isEnabled() || !(widget->focusPolicy() & Qt::TabFocus)) continue;
        if (widget->focusProxy() || qobject_cast<QAbstractScrollArea*>(widget->parentWidget())) continue;
        const QString name = QString::fromLatin1(page) + QLatin1Char('/') + widget->objectName();
        QVERIFY2(forward.contains(widget), qPrintable(name));
        QVERIFY2(backward.contains(widget), qPrintable(name));
        if (auto* button = qobject_cast<ImageButton*>(widget))
          QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(name));
      }
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      QCOMPARE(QApplication::focusWidget(), navigation);
    }
  }

  void keyboardActivatesButtons() {
    GuiRun run("two-enclosures");
    QVERIFY(run.detect());
    QApplication::setActiveWindow(&run.window);
    QVERIFY(QTest::qWaitForWindowActive(&run.window));
    // Enter on a page's buttons: a device button selects, the E-mail tabs switch, + adds the
    // address typed in "E-Mail To", and so does Enter in the field itself.
    QTest::keyClick(run.find<ImageButton>("Image_Sts"), Qt::Key_Return);
    QTest::keyClick(run.find<ImageButton>("Image0_D2"), Qt::Key_Space);
    QCOMPARE(run.engine().selectedDevice(), 1u);
    QTest::keyClick(run.find<ImageButton>("Image_Email"), Qt::Key_Enter);
    QCOMPARE(run.engine().currentPage(), 3);
    QTest::keyClick(run.find<ImageButton>("Image3_HDDFail"), Qt::Key_Return);
    auto* address = run.find<QLineEdit>("Edit7");
    QVERIFY(address->isVisible());
    QTest::keyClicks(address, QStringLiteral("ops@example.org"));
    QTest::keyClick(address, Qt::Key_Return);
    QCOMPARE(run.find<QTableWidget>("StringGrid1")->item(0, 0)->text(), QStringLiteral("ops@example.org"));
    QTest::keyClicks(address, QStringLiteral("desk@example.org"));
    QTest::keyClick(run.find<ImageButton>("Image3_1P"), Qt::Key_Space);
    QCOMPARE(run.find<QTableWidget>("StringGrid1")->item(1, 0)->text(), QStringLiteral("desk@example.org"));
    QCOMPARE(address->accessibleName(), QStringLiteral("E-Mail To"));
  }

  // The tray icon follows the worst enclosure, and logged events go out as desktop notices:
  // an alarm as critical, naming the enclosure and bay.
  void trayStateAndNotifications() {
    GuiRun run("demo");
    struct Recorder : DesktopNotifier {
      std::vector<DesktopNotice>* seen;
      void Notify(const DesktopNotice& notice) override { seen->push_back(notice); }
    };
    std::vector<DesktopNotice> notices;
    auto recorder = std::make_unique<Recorder>();
    recorder->seen = &notices;
    run.window.SetNotifier(std::move(recorder));
    run.window.CreateTrayIcon();
    QVERIFY(run.detect());
    TrayIcon* tray = run.window.trayIcon();
    QCOMPARE(tray->state(), TrayState::Normal);
    QCOMPARE(tray->toolTip(), QStringLiteral("RODE RUR - normal\nDevice1: Normal"));

    // The tray and the status bar follow the enclosures whatever page is shown.
    run.run(2000);
    QTest::mouseClick(run.find("Image_SMART"), Qt::LeftButton);
    QCOMPARE(run.engine().currentPage(), kPageSmart);
    run.run(33000);  // HDD2 pulled at 30 s
    QCOMPARE(tray->state(), TrayState::Degraded);
    QVERIFY(tray->toolTip().contains(QStringLiteral("Device1: Single HDD Present")));
    QCOMPARE(run.window.statusBar()->panelText(0), QStringLiteral("Device1: Single HDD Present"));
    QVERIFY(!notices.empty());
    QCOMPARE(notices[0].summary, QStringLiteral("Device1 HDD2 was removed"));
    QVERIFY(notices[0].body.startsWith(QStringLiteral("D1 HDD2 was removed, ")));
    QVERIFY(notices[0].critical);

    run.run(300000);  // back, rebuilt
    QCOMPARE(tray->state(), TrayState::Normal);
    bool rebuildDone = false;
    // The rebuild's end: "Done" when its last step was seen, both disks OK otherwise.
    for (const DesktopNotice& notice : notices)
      rebuildDone |= notice.summary.endsWith(QStringLiteral("Done")) ||
                     notice.summary == QStringLiteral("Device1 HDD1 OK, HDD2 OK");
    QVERIFY(rebuildDone);
    QCOMPARE(tray->menu()->actions().first()->text(), QStringLiteral("Show window"));

    // Notices turned off: nothing more is sent.
    run.window.SetNotificationsOn(false);
    const std::size_t before = notices.size();
    run.run(200000);
    QCOMPARE(notices.size(), before);

    // Classifying events: progress steps, banners and the alarm beside its line say nothing; the
    // program's words name the enclosure.
    const auto event = [](LogEventKind kind, int device, const char* text) {
      return LogEvent{LogEventTag{kind, device, device + 1, 0}, text, {}, 0};
    };
    QVERIFY(!NoticeForEvent(event(LogEventKind::RebuildProgress, 0, "D1 HDD1 --> HDD2 45%, 2026/3/14 9:02:48")));
    QVERIFY(!NoticeForEvent(event(LogEventKind::Banner, -1, "RODE RUR v0.50.11-3 has started from 2026/3/14 9:00:02")));
    QVERIFY(!NoticeForEvent(event(LogEventKind::Alarm, 0, "Device1 P2 Hard Disk Drive fail.")));
    const auto found =
        NoticeForEvent(event(LogEventKind::DeviceFound, 1, "D2 New Device was found.2026/3/14 22:16:29"));
    QVERIFY(found && !found->critical);
    QCOMPARE(found->summary, QStringLiteral("Device2 New Device was found."));
  }

  // Texts a disk or a bridge chose reach the notification server as text, never as its markup:
  // a serial "<b>NEW</b>" is not drawn bold, and both enclosures of the scenario are watched.
  void noticesShowDeviceTextsAsReported() {
    std::ifstream file(RUR_SOURCE_DIR "/tests/data/scenarios/hostile-texts.json");
    std::stringstream scenario;
    scenario << file.rdbuf();
    GuiRun run(scenario.str());
    QVERIFY2(run.opened, qPrintable(run.openError));
    struct Recorder : DesktopNotifier {
      std::vector<DesktopNotice>* seen;
      void Notify(const DesktopNotice& notice) override { seen->push_back(notice); }
    };
    std::vector<DesktopNotice> notices;
    auto recorder = std::make_unique<Recorder>();
    recorder->seen = &notices;
    run.window.SetNotifier(std::move(recorder));
    QVERIFY(run.detect());
    QCOMPARE(run.engine().deviceCount(), 2u);
    run.run(25000);  // HDD1 of drive 1 swapped at 20 s
    const auto replaced = std::find_if(notices.begin(), notices.end(), [](const DesktopNotice& notice) {
      return notice.summary.startsWith(QStringLiteral("Device1 HDD1 replaced"));
    });
    QVERIFY(replaced != notices.end());
    QCOMPARE(
        replaced->summary,
        QStringLiteral("Device1 HDD1 replaced: serial \"&lt;b&gt;OLD&lt;/b&gt;\" -&gt; \"&lt;b&gt;NEW&lt;/b&gt;\""));
    QVERIFY(replaced->body.startsWith(
        QStringLiteral("D1 HDD1 replaced: serial \"&lt;b&gt;OLD&lt;/b&gt;\" -&gt; \"&lt;b&gt;NEW&lt;/b&gt;\", ")));
    for (const DesktopNotice& notice : notices) QVERIFY(!notice.body.contains(QLatin1Char('<')));
  }

  void navigationWaitsForTheFirstDrawingAndForAnUpgrade() {
    GuiRun run("demo");
    // A device change during the first detection holds the first refresh back: detected, but the
    // status page not drawn yet.
    run.engine().DeviceChangeNotice();
    QVERIFY(run.detect());
    QVERIFY(run.engine().programStarted());
    auto* notebook = run.find<QStackedWidget>("Notebook1");
    for (const char* name : kNavigation) QTest::mouseClick(run.find(name), Qt::LeftButton);
    QCOMPARE(notebook->currentIndex(), 0);
    QCOMPARE(run.engine().currentPage(), 0);
    QVERIFY(ShowsPicture(run, "Image_Sts", "Yellow"));
    run.run(11000);
    QVERIFY(!run.engine().programStarted());

    EngineTestAccess::Marks(run.engine()).UpgradeTarget = 0;  // stands for an upgrade holding the device
    for (const char* name : kNavigation) QTest::mouseClick(run.find(name), Qt::LeftButton);
    QCOMPARE(notebook->currentIndex(), 0);
    QVERIFY(ShowsPicture(run, "Image_SMART", "White"));
    EngineTestAccess::Marks(run.engine()).UpgradeTarget = kNoDevice;

    QTest::mouseClick(run.find("Image_SMART"), Qt::LeftButton);
    QCOMPARE(notebook->currentIndex(), 5);
  }

  void pressedLookReturnsTheButtonToItsPlace() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    auto* log = run.find<ImageButton>("Image0_Log");
    const QPoint home = log->pos();
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
      QTest::mousePress(log, button);
      QCOMPARE(log->pos(), home + QPoint(0, 2));
      QTest::mouseRelease(log, button);
      QCOMPARE(log->pos(), home);
    }
    // A double-click reaches a widget as press, release, double-click, release.
    QTest::mousePress(log, Qt::RightButton);
    QTest::mouseRelease(log, Qt::RightButton);
    QTest::mouseDClick(log, Qt::RightButton);
    QTest::mouseRelease(log, Qt::RightButton);
    QCOMPARE(log->pos(), home);
    // Navigation buttons do not sink.
    auto* smart = run.find<ImageButton>("Image_SMART");
    const QPoint smartHome = smart->pos();
    QTest::mousePress(smart, Qt::LeftButton);
    QCOMPARE(smart->pos(), smartHome);
    QTest::mouseRelease(smart, Qt::LeftButton);
  }

  void closingIsRefusedWhileAnUpgradeRuns() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    EngineTestAccess::Marks(run.engine()).OperationBusy = true;
    EngineTestAccess::Marks(run.engine()).UpgradeTarget = 0;
    QVERIFY(!run.window.close());
    QVERIFY(run.window.isVisible());
    QCOMPARE(run.messages.size(), std::size_t{1});
    QCOMPARE(run.messages[0].text, QStringLiteral("Firmware is upgrading, please wait a moment."));
    QCOMPARE(run.messages[0].caption, QStringLiteral("Message"));
    QVERIFY(!run.engine().closing());

    EngineTestAccess::Marks(run.engine()).OperationBusy = false;
    EngineTestAccess::Marks(run.engine()).UpgradeTarget = kNoDevice;
    QVERIFY(run.window.close());
    QVERIFY(run.engine().closing());
    QCOMPARE(run.messages.size(), std::size_t{1});
  }

  void statusBarPanelsAndSystemInformation() {
    GuiRun run("demo");
    QVERIFY(run.detect());
    PanelStatusBar* bar = run.window.statusBar();
    // By default what a user needs: the selected enclosure's state, the last refresh, the outbox.
    run.run(6000);
    QCOMPARE(bar->panelCount(), 4);
    QCOMPARE(bar->panelText(0), QStringLiteral("Device1: Normal"));
    QVERIFY2(bar->panelText(1).startsWith(QStringLiteral("Refreshed 09:00:")), qPrintable(bar->panelText(1)));
    QCOMPARE(bar->panelText(2), QStringLiteral("Outbox empty"));
    run.run(30000);  // HDD2 pulled
    QCOMPARE(bar->panelText(0), QStringLiteral("Device1: Single HDD Present"));

    // The trace counters with --debug, each panel wide enough for its text.
    run.window.ShowTraces(true);
    QCOMPARE(bar->panelCount(), 5);
    QCOMPARE(bar->panelText(2), run.panel(2));
    bar->setPanelText(0, QStringLiteral("Chksum:007F1234 and a longer text"));
    QVERIFY(bar->panelRect(0).width() > 100);
    bar->setPanelText(0, QString());
    const std::vector<int> widths{100, 80, 80, 100};
    for (int i = 0; i < 4; ++i) QVERIFY(bar->panelRect(i).width() >= widths[static_cast<std::size_t>(i)]);
    QVERIFY(bar->panelRect(4).left() >= 360);

    QTest::mouseDClick(bar, Qt::LeftButton);
    QCOMPARE(run.messages.size(), std::size_t{1});
    QCOMPARE(run.messages[0].caption, QStringLiteral("System Information"));
    QVERIFY(run.messages[0].text.startsWith(QStringLiteral("\n=========== [System Information] ==============")));
    QVERIFY(run.messages[0].text.contains(QStringLiteral("\nSystem Name : ")));
  }

  void aSecondStartShowsTheFirstWindowOfItsDataFolder() {
    GuiRun run("demo");
    QVERIFY(run.opened);
    // The name follows the folder, however it is spelled; another folder has a lock of its own.
    const std::string folder = run.dir.path().toStdString();
    QCOMPARE(InstanceName(folder + "/./"), InstanceName(folder));
    QVERIFY(InstanceName(folder + "/other") != InstanceName(folder));

    InstanceServer server;
    QString error;
    const QString socket = run.dir.filePath(QStringLiteral("window.socket"));
    QVERIFY2(server.Listen(socket, error), qPrintable(error));
    connect(&server, &InstanceServer::showRequested, &run.window, [&run] { run.window.BringToFront(); });
    run.window.showMinimized();
    QVERIFY(run.window.isMinimized());
    bool answered = false;
    std::thread second([&] { answered = AskFirstWindowToShow(socket); });
    QTRY_VERIFY(!run.window.isMinimized());
    second.join();
    QVERIFY(answered);
    QVERIFY(run.window.isVisible());
    QVERIFY(!AskFirstWindowToShow(run.dir.filePath(QStringLiteral("nobody.socket"))));
  }

  void commandLineOptions() {
    struct Case {
      std::vector<std::string> args;
      bool ok;
      bool simulate;
      std::string dataDir;
    };
    const std::vector<Case> cases{
        {{}, true, false, ""},
        {{"--simulate"}, true, true, ""},
        {{"--simulate=/tmp/some.json", "--data-dir", "/tmp/d"}, true, true, "/tmp/d"},
        {{"--data-dir=/tmp/e"}, true, false, "/tmp/e"},
        {{"--data-dir"}, false, false, ""},
        {{"--simulate="}, false, true, ""},
        {{"--sim-state", "/tmp/s"}, false, false, ""},
        {{"--frobnicate"}, false, false, ""},
        // Qt's own options are Qt's to take, with their values.
        {{"-style", "fusion", "--simulate", "-stylesheet=x.qss", "--platform", "offscreen", "-reverse"},
         true,
         true,
         ""},
        {{"-platform"}, false, false, ""},
    };
    for (const Case& c : cases) {
      CommandLine line;
      std::string error;
      QCOMPARE(ParseCommandLine(c.args, line, error), c.ok);
      QCOMPARE(error.empty(), c.ok);
      if (!c.ok) continue;
      QCOMPARE(line.options.simulate, c.simulate);
      QCOMPARE(line.options.dataDir, c.dataDir);
    }
    // The display the window would open on, from Qt's options before the environment; one that
    // cannot be reached is told before Qt starts.
    const WindowSystemChoice named = ChooseWindowSystem({"--simulate", "-platform", "xcb:nomitshm", "--display=:97"});
    QCOMPARE(named.platform, std::string("xcb"));
    QCOMPARE(named.display, std::string(":97"));
    const std::optional<std::string> problem = DisplayProblem(named);
    if (problem) QCOMPARE(*problem, std::string("cannot open display :97"));
    QVERIFY(!DisplayProblem({"offscreen", ""}));

    CommandLine bundled;
    std::string error;
    QVERIFY(ParseCommandLine({"--simulate=striping"}, bundled, error));
    QCOMPARE(bundled.options.scenarioPath, sim::BundledScenarioPath("striping"));

    // The manual rode-rur(1) lists the options --help shows, no more and no fewer.
    const auto optionsIn = [](const std::string& text) {
      std::set<std::string> names;
      const std::regex option("--[a-z][a-z-]*[a-z]");
      for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        names.insert(it->str());
      return names;
    };
    std::ifstream page(RUR_SOURCE_DIR "/data/man/rode-rur.1.in");
    std::stringstream text;
    text << page.rdbuf();
    const std::string manual = std::regex_replace(text.str(), std::regex(R"(\\-)"), "-");
    QCOMPARE(optionsIn(manual.substr(0, manual.find(".SH FILES"))), optionsIn(CommandLineHelp()));
  }
};

RUR_GUI_TEST(WindowTest);

}  // namespace rur::ui::test

#include "window_test.moc"
