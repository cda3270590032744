// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QSessionManager>
#include <QSettings>
#include <QStackedWidget>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

#include "app/program.h"
#include "monitor/event_log.h"
#include "monitor/status_page_model.h"
#include "notify/mail_center.h"
#include "notify/system_info.h"
#include "platform/branding.h"
#include "window/about_page_widget.h"
#include "window/email_page_widget.h"
#include "window/enclosure_menu.h"
#include "window/image_button.h"
#include "window/log_viewer.h"
#include "window/panel_status_bar.h"
#include "window/qt_text.h"
#include "window/smart_page_widget.h"
#include "window/status_page_widget.h"
#include "window/tray_icon.h"
#include "window/upgrade_page_widget.h"
#include "window/window_palette.h"

namespace rur::ui {
namespace {

constexpr std::uint64_t kEngineIdleMs = 1000;  // the longest the engine goes without a step
constexpr int kToolTipShownMs = 6000;
constexpr int kNavigationX = 12;
constexpr QPoint kNotebookAt{186, 74};
// Design slots of the navigation buttons in the order Status, Setup, Upgrade, E-mail, SMART, About.
constexpr std::array<int, 6> kNavigationDesignY{104, 160, 216, 272, 328, 384};
constexpr std::array<unsigned, 6> kNavigationBits{0x01, 0x02, 0x04, 0x08, 0x10, 0x20};
constexpr std::array<int, 5> kPanelWidths{100, 80, 80, 100, 250};
constexpr int kMailWaitingPanel = 4;  // the widest panel, which device operations share
// The user's status bar: the selected enclosure's state, the last refresh, the outbox, messages.
constexpr std::array<int, 4> kSummaryWidths{150, 110, 100, 260};
constexpr int kSummaryStatePanel = 0;
constexpr int kSummaryRefreshPanel = 1;
constexpr int kSummaryMailPanel = 2;
constexpr int kSummaryMessagePanel = 3;
constexpr int kTracePanel = 0;  // the refresh cycle's counters, reported at each step
const QString kChecksumPrefix = QStringLiteral("Chksum:");

// Hints stay up for six seconds wherever they are shown, and are shown as plain text.
class ToolTipDuration : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->toolTip().isEmpty()) return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), PlainHint(widget->toolTip()), widget, QRect(), kToolTipShownMs);
    return true;
  }
};

}  // namespace

// The window as the engine sees it. The detection thread may report panel texts and messages and
// ask for a pump: texts and messages are queued to the window's thread, and a pump off that
// thread does nothing.
class MainWindow::Sink final : public Ui {
 public:
  explicit Sink(MainWindow& window) : window_(window) {}

  void panel(int index, const std::string& text) override {
    const QString shown = Q(text);
    if (OnWindowThread()) {
      window_.SetPanel(index, shown);
    } else {
      QMetaObject::invokeMethod(
          &window_, [window = &window_, index, shown] { window->SetPanel(index, shown); }, Qt::QueuedConnection);
    }
  }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    const QString shownText = Q(text);
    const QString shownCaption = Q(caption);
    if (OnWindowThread()) {
      window_.ShowMessage(shownText, shownCaption, kind);
    } else {
      QMetaObject::invokeMethod(
          &window_,
          [window = &window_, shownText, shownCaption, kind] { window->ShowMessage(shownText, shownCaption, kind); },
          Qt::QueuedConnection);
    }
  }
  void pump() override {
    if (OnWindowThread()) QCoreApplication::processEvents();
  }
  void update(UiUpdate what) override {
    OnWindow([window = &window_, what] { window->EngineChanged(what); });
  }
  void detectionNotice(const DetectionNotice& notice) override {
    OnWindow(
        [window = &window_, text = Q(notice.text), shown = notice.shown] { window->ShowDetectionNotice(text, shown); });
  }
  void navigationEnabled(bool enabled) override {
    OnWindow([window = &window_, enabled] { window->SetNavigationEnabled(enabled); });
  }
  void eventLogAvailable() override {
    OnWindow([window = &window_] { window->statusPage_->ShowLogButton(); });
  }
  void upgradeStartable(bool startable) override {
    OnWindow([window = &window_, startable] { window->upgradePage_->SetUpgradeStartable(startable); });
  }
  void title(const std::string& text) override {
    OnWindow([window = &window_, text = Q(text)] { window->setWindowTitle(text); });
  }
  void mailWaiting(const std::string& text) override {
    OnWindow([window = &window_, text = Q(text)] { window->ShowMailWaiting(text); });
  }
  void smartCountdown(const std::string& text) override {
    OnWindow([window = &window_, text = Q(text)] { window->smartPage_->ShowCountdown(text); });
  }
  void deviceSelectorsEnabled(bool enabled) override { window_.SetDeviceSelectorsEnabled(enabled); }
  void progress(int position, int maximum) override { window_.upgradePage()->ShowProgress(position, maximum); }
  void upgradePanel(bool shown, const std::string& caption, const std::string& label) override {
    window_.upgradePage()->ShowUpgradePanel(shown, Q(caption), Q(label));
  }
  void firmwareFile(const std::string& name) override { window_.upgradePage()->ShowFirmwareFile(Q(name)); }

 private:
  bool OnWindowThread() const { return QThread::currentThread() == window_.thread(); }
  // Runs a change of the window on its thread: at once there, queued from elsewhere.
  template <typename Change>
  void OnWindow(Change change) {
    if (OnWindowThread()) {
      change();
    } else {
      QMetaObject::invokeMethod(&window_, std::move(change), Qt::QueuedConnection);
    }
  }
  MainWindow& window_;
};

MainWindow::MainWindow(DialogHooks dialogs, QWidget* parent)
    // Without CustomizeWindowHint the window manager would be asked for every button, maximize too.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(std::move(dialogs)),
      sink_(std::make_unique<Sink>(*this)),
      notifier_(SessionBusNotifier()) {
  setObjectName(QStringLiteral("TForm1"));
  setFont(WindowFont());
  UseWindowPalette(this);
  setAutoFillBackground(true);
  setWindowTitle(Q(std::string(ApplicationTitle)));
  // The frame is drawn at its design size; where the screen is smaller (a high scale factor, a
  // small screen) the window shrinks and the frame scrolls inside it, the status bar staying below.
  canvas_ = new QWidget;
  canvas_->setObjectName(QStringLiteral("Frame"));
  canvas_->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  BuildFrame();
  BuildNavigation();
  frameArea_ = new QScrollArea(this);
  frameArea_->setObjectName(QStringLiteral("FrameArea"));
  frameArea_->setFrameShape(QFrame::NoFrame);
  frameArea_->setAlignment(Qt::AlignCenter);
  frameArea_->setWidget(canvas_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(frameArea_, 1);
  layout->addWidget(statusBar_);
  setMinimumSize(kSmallestWidth, kSmallestHeight);
  resize(kClientWidth, kClientHeight);
}

MainWindow::~MainWindow() {
  if (engineTimer_) engineTimer_->stop();
}

Ui& MainWindow::sink() { return *sink_; }

Engine* MainWindow::engine() { return program_ ? &program_->engine() : nullptr; }

void MainWindow::BuildFrame() {
  const QSize backgroundSize(kClientWidth, kClientHeight - kStatusBarHeight);
  background_ = new QLabel(canvas_);
  background_->setObjectName(QStringLiteral("Image_Background"));
  background_->setGeometry(QRect(QPoint(0, 0), backgroundSize));
  background_->setAlignment(Qt::AlignCenter);
  PictureSource(QStringLiteral("Image_Background_RAID"), BackgroundPicture(BackgroundKind::Raid, backgroundSize),
                canvas_);
  PictureSource(QStringLiteral("Image_Background_HyBrid"), BackgroundPicture(BackgroundKind::HyBrid, backgroundSize),
                canvas_);
  PictureSource(QStringLiteral("Image_Background_OEM"), BackgroundPicture(BackgroundKind::Oem, backgroundSize),
                canvas_);

  detectionText_ = new QLabel(QStringLiteral("Drive detecting"), canvas_);
  detectionText_->setTextFormat(Qt::PlainText);
  detectionText_->setObjectName(QStringLiteral("StaticText1"));
  detectionText_->setGeometry(kNavigationX, 74, kNavigationWidth, 22);
  detectionText_->setAlignment(Qt::AlignCenter);
  detectionText_->setFont(WindowFont(13, true));
  SetTextColour(detectionText_, QColor(0xC0, 0x39, 0x2B));

  device1Box_ = new QCheckBox(QStringLiteral("Device1"), canvas_);
  device1Box_->setObjectName(QStringLiteral("CheckBox1"));
  device1Box_->setGeometry(kNavigationX + 4, 388, 80, 20);
  device2Box_ = new QCheckBox(QStringLiteral("Device2"), canvas_);
  device2Box_->setObjectName(QStringLiteral("CheckBox3"));
  device2Box_->setGeometry(kNavigationX + 88, 388, 80, 20);
  connect(device1Box_, &QCheckBox::clicked, this, [this] { ApplyDevice1Box(); });
  connect(device2Box_, &QCheckBox::clicked, this, [this] { ApplyDevice2Box(); });

  pageBook_ = new QStackedWidget(canvas_);
  pageBook_->setObjectName(QStringLiteral("Notebook1"));
  pageBook_->setGeometry(QRect(kNotebookAt, QSize(kPageWidth, kPageHeight)));
  const DeviceButtonPictures devicePictures = DrawDeviceButtons();
  statusPage_ = new StatusPageWidget(*this, devicePictures);
  upgradePage_ = new UpgradePageWidget(*this, devicePictures);
  connect(upgradePage_, &UpgradePageWidget::endRequested, this, [this] { QuitProgram(); });
  emailPage_ = new EmailPageWidget(*this);
  aboutPage_ = new AboutPageWidget(*this);
  smartPage_ = new SmartPageWidget(*this);
  auto* schedulePage = new NotebookPage(QStringLiteral("schedule_backup"), *this);
  pages_ = {statusPage_, schedulePage, upgradePage_, emailPage_, aboutPage_, smartPage_};
  for (NotebookPage* page : pages_) pageBook_->addWidget(page);

  std::vector<int> widths(kSummaryWidths.begin(), kSummaryWidths.end());
  statusBar_ = new PanelStatusBar(QStringLiteral("StatusBar1"), widths, this);
  statusBar_->setAccessibleName(QStringLiteral("Status bar"));
  statusBar_->setFixedHeight(kStatusBarHeight);
  connect(statusBar_, &PanelStatusBar::doubleClicked, this, [this] { ShowSystemInformation(); });
}

MainWindow::NavigationButton MainWindow::MakeNavigationButton(const QString& name, const QString& caption, Glyph glyph,
                                                              int page, int y) {
  NavigationButton nav;
  nav.page = page;
  nav.button = new ImageButton(name, canvas_, caption, QStringLiteral("Opens the %1 page").arg(caption));
  nav.button->setGeometry(kNavigationX, y, kNavigationWidth, kNavigationHeight);
  nav.yellow =
      PictureSource(name + QStringLiteral("_Yellow"), NavigationPicture(caption, glyph, ButtonLook::Yellow), canvas_);
  nav.white =
      PictureSource(name + QStringLiteral("_White"), NavigationPicture(caption, glyph, ButtonLook::White), canvas_);
  nav.yellow->move(kNavigationX, y);
  nav.white->move(kNavigationX, y);
  nav.button->setPixmap(nav.white->pixmap());
  return nav;
}

void MainWindow::BuildNavigation() {
  navigation_ = {
      MakeNavigationButton(QStringLiteral("Image_Sts"), QStringLiteral("Status"), Glyph::Status, kPageStatus,
                           kNavigationDesignY[0]),
      MakeNavigationButton(QStringLiteral("Image_Setup"), QStringLiteral("schedule_backup"), Glyph::Setup, 1,
                           kNavigationDesignY[1]),
      MakeNavigationButton(QStringLiteral("Image_FWUpg"), QStringLiteral("Upgrade"), Glyph::Upgrade, kPageUpgrade,
                           kNavigationDesignY[2]),
      MakeNavigationButton(QStringLiteral("Image_Email"), QStringLiteral("E-mail"), Glyph::Email, kPageEmail,
                           kNavigationDesignY[3]),
      MakeNavigationButton(QStringLiteral("Image_SMART"), QStringLiteral("SMART"), Glyph::Smart, kPageSmart,
                           kNavigationDesignY[4]),
      MakeNavigationButton(QStringLiteral("Image_About"), QStringLiteral("About"), Glyph::About, kPageAbout,
                           kNavigationDesignY[5]),
  };
  // Tab walks the navigation column top down, then the device boxes under it, then the page.
  for (std::size_t i = 1; i < navigation_.size(); ++i) setTabOrder(navigation_[i - 1].button, navigation_[i].button);
  setTabOrder(navigation_.back().button, device1Box_);
  setTabOrder(device1Box_, device2Box_);
  device1Box_->setAccessibleDescription(QStringLiteral("Watches the first enclosure and shows its button"));
  device2Box_->setAccessibleDescription(QStringLiteral("Watches the second enclosure and shows its button"));
  connect(navigation_[0].button, &ImageButton::clicked, this, [this] { OpenStatusPage(); });
  connect(navigation_[2].button, &ImageButton::clicked, this, [this] { OpenUpgradePage(); });
  connect(navigation_[3].button, &ImageButton::clicked, this, [this] { OpenEmailPage(); });
  connect(navigation_[4].button, &ImageButton::clicked, this, [this] { OpenSmartPage(); });
  connect(navigation_[5].button, &ImageButton::clicked, this, [this] { OpenAboutPage(); });
}

void MainWindow::Attach(Program& program) { program_ = &program; }

void MainWindow::Start() {
  setWindowIcon(ApplicationIcon());
  QApplication::setWindowIcon(ApplicationIcon());
  qApp->installEventFilter(new ToolTipDuration(this));
  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [this](QSessionManager& manager) { SessionEnding(manager); });

  // Pages first: starting the program already reports detection texts to them.
  for (auto& nav : navigation_) nav.button->setEnabled(false);
  device1Box_->hide();
  device2Box_->hide();
  background_->setPixmap(findChild<QLabel*>(QStringLiteral("Image_Background_RAID"))->pixmap());
  LayOutNavigation(kNavigationMask);
  setWindowTitle(Q(std::string(ApplicationTitle)));

  if (!program_) return;
  LoadDesktopSettings();
  if (TrayIcon::Available()) CreateTrayIcon();
  // The program is destroyed before the window, so the engine never calls a window that is gone.
  program_->engine().AddEventListener([this](const LogEvent& event) { NotifyEvent(event); });
  program_->WriteMetricsTo(program_->StoredMetricsFolder());
  program_->Start();
  ShowPage();
  if (!program_->clock().isVirtual()) {
    engineTimer_ = new QTimer(this);
    engineTimer_->setObjectName(QStringLiteral("EngineTimer"));
    engineTimer_->setSingleShot(true);
    // The engine is stepped when its next timer comes due rather than at a fixed rate, so an idle
    // window sleeps between the poll ticks instead of waking a hundred times a second. The timer is
    // armed before the step too, so timers still come due while a job inside the step pumps.
    const auto arm = [this] {
      const std::uint64_t now = program_->clock().nowMs();
      const std::uint64_t next = program_->engine().NextDue();
      engineTimer_->start(static_cast<int>(next > now ? std::min<std::uint64_t>(next - now, kEngineIdleMs) : 0));
    };
    connect(engineTimer_, &QTimer::timeout, this, [this, arm] {
      if (!program_) return;
      arm();
      program_->engine().Step();
      arm();
    });
    engineTimer_->start(0);
  }
}

void MainWindow::LayOutNavigation(unsigned mask) {
  std::array<QPoint, 6> places{};
  for (std::size_t i = 0; i < navigation_.size(); ++i) places[i] = navigation_[i].button->pos();
  std::size_t slot = 0;
  for (std::size_t i = 0; i < navigation_.size(); ++i) {
    NavigationButton& nav = navigation_[i];
    if (mask & kNavigationBits[i]) {
      nav.button->move(places[slot]);
      nav.yellow->move(places[slot]);
      nav.white->move(places[slot]);
      ++slot;
      if (i == 0) nav.button->show();
    } else {
      nav.button->hide();
    }
  }
}

void MainWindow::ShowPage() {
  const int current = program_ ? program_->engine().currentPage() : kPageStatus;
  for (auto& nav : navigation_) nav.button->setPixmap((nav.page == current ? nav.yellow : nav.white)->pixmap());
  pageBook_->setCurrentIndex(current);
}

void MainWindow::OpenPage(int page, NotebookPage* widget) {
  // The engine owns the rule of which page may open now.
  if (!program_ || !program_->engine().NavigationAllowed()) return;
  // Edits of the E-mail page are not dropped without a word.
  if (program_->engine().currentPage() == kPageEmail && page != kPageEmail && !emailPage_->MayLeave()) return;
  if (!program_->engine().OpenPage(page)) return;
  ShowPage();
  widget->PageOpened();
}

void MainWindow::OpenStatusPage() { OpenPage(kPageStatus, statusPage_); }
void MainWindow::OpenUpgradePage() { OpenPage(kPageUpgrade, upgradePage_); }
void MainWindow::OpenEmailPage() { OpenPage(kPageEmail, emailPage_); }
void MainWindow::OpenAboutPage() { OpenPage(kPageAbout, aboutPage_); }
void MainWindow::OpenSmartPage() { OpenPage(kPageSmart, smartPage_); }

void MainWindow::ShowSystemInformation() {
  if (!program_) return;
  ShowMessage(Q(SystemInfoMessage(program_->mail().SystemInfoText())), QStringLiteral("System Information"),
              MessageKind::Information);
}

void MainWindow::OpenLogViewer() {
  if (!program_ || viewer_) return;
  viewer_ = new LogViewerDialog(*program_, dialogs_, this);
  viewer_->setAttribute(Qt::WA_DeleteOnClose);
  viewer_->setWindowModality(Qt::ApplicationModal);
  viewer_->show();
}

void MainWindow::ApplyDevice1Box() {
  if (program_) program_->engine().SetDeviceChecked(0, device1Box_->isChecked());
}

void MainWindow::ApplyDevice2Box() {
  if (program_) program_->engine().SetDeviceChecked(1, device2Box_->isChecked());
}

void MainWindow::SetPanel(int index, const QString& text) {
  if (index < 0 || index >= enginePanels_.size()) return;
  enginePanels_[index] = text;
  // The checksum of a loaded image stays on the upgrade page until the next load.
  if (index == kTracePanel && text.startsWith(kChecksumPrefix)) upgradePage_->ShowChecksum(text);
  if (index == kTracePanel && !text.startsWith(kChecksumPrefix) && program_) {
    const LocalDateTime now = program_->clock().localTime();
    lastRefresh_ = QStringLiteral("Refreshed %1:%2:%3")
                       .arg(now.hour, 2, 10, QLatin1Char('0'))
                       .arg(now.minute, 2, 10, QLatin1Char('0'))
                       .arg(now.second, 2, 10, QLatin1Char('0'));
  }
  if (tracesShown_) {
    statusBar_->setPanelText(index, index == kMailWaitingPanel && text.isEmpty() ? mailWaiting_ : text);
    return;
  }
  if (index == kMailWaitingPanel) statusBar_->setPanelText(kSummaryMessagePanel, text);
  ShowSummary();
}

void MainWindow::ShowTraces(bool shown) {
  tracesShown_ = shown;
  if (shown) {
    statusBar_->setPanelWidths(std::vector<int>(kPanelWidths.begin(), kPanelWidths.end()));
    for (int i = 0; i < enginePanels_.size(); ++i) statusBar_->setPanelText(i, enginePanels_[i]);
  } else {
    statusBar_->setPanelWidths(std::vector<int>(kSummaryWidths.begin(), kSummaryWidths.end()));
    statusBar_->setPanelText(kSummaryMessagePanel, enginePanels_[kMailWaitingPanel]);
    ShowSummary();
  }
}

void MainWindow::ShowSummary() {
  if (tracesShown_) return;
  QString state = detectionText_->isVisible() ? detectionText_->text() : QString();
  if (program_) {
    // The selected enclosure's health, from the model, whatever page is shown.
    const Engine& engine = program_->engine();
    if (const Enclosure* enclosure = engine.enclosure(engine.selectedDevice()))
      state = QStringLiteral("Device%1: %2").arg(enclosure->position + 1).arg(EnclosureStateLine(*enclosure));
  }
  statusBar_->setPanelText(kSummaryStatePanel, state);
  statusBar_->setPanelText(kSummaryRefreshPanel, lastRefresh_);
  statusBar_->setPanelText(kSummaryMailPanel, mailWaiting_.isEmpty() ? QStringLiteral("Outbox empty") : mailWaiting_);
}

void MainWindow::ShowMailWaiting(const QString& text) {
  if (!tracesShown_) {
    mailWaiting_ = text;
    ShowSummary();
    return;
  }
  const bool shown = statusBar_->panelText(kMailWaitingPanel) == mailWaiting_;
  mailWaiting_ = text;
  if (shown || !text.isEmpty()) statusBar_->setPanelText(kMailWaitingPanel, text);
}

void MainWindow::PlaceOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // Before the window manager framed the window its frame is the window itself; the title bar is
  // then allowed for by keeping the top inside the area.
  QRect frame = frameGeometry();
  // A window larger than the area shrinks to fit it, title bar and borders included; the frame
  // then scrolls inside the window.
  QSize decoration = frame.size() - size();
  if (decoration.isEmpty()) {
    // Not framed yet: a title bar and borders as the style draws them are allowed for.
    const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    decoration = QSize(2 * border, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 2 * border);
  }
  const QSize fitting = size().boundedTo(area.size() - decoration).expandedTo(minimumSize());
  if (fitting != size()) {
    resize(fitting);
    frame.setSize(fitting + decoration);
  }
  QPoint at = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
  // A window larger than the area keeps its title bar (top left) on screen.
  at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width())));
  at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height())));
  move(at);
}

QString MainWindow::DesktopSettingsFile() const {
  // Beside the day logs, so a simulated run keeps its own, as it does every other file.
  return Q(program_->dataDirectory()) + QStringLiteral("/desktop.ini");
}

void MainWindow::LoadDesktopSettings() {
  if (!program_) return;
  QSettings settings(DesktopSettingsFile(), QSettings::IniFormat);
  keepInTray_ = settings.value(QStringLiteral("keepInTray"), false).toBool();
  notificationsOn_ = settings.value(QStringLiteral("notifications"), true).toBool();
}

void MainWindow::SetKeepInTray(bool keep) {
  keepInTray_ = keep;
  if (!program_) return;
  QSettings settings(DesktopSettingsFile(), QSettings::IniFormat);
  settings.setValue(QStringLiteral("keepInTray"), keep);
}

void MainWindow::SetNotificationsOn(bool on) {
  notificationsOn_ = on;
  if (!program_) return;
  QSettings settings(DesktopSettingsFile(), QSettings::IniFormat);
  settings.setValue(QStringLiteral("notifications"), on);
}

void MainWindow::CreateTrayIcon() {
  if (tray_) return;
  tray_ = new TrayIcon(this);
  QMenu* menu = tray_->menu();
  menu->addSeparator();
  QAction* keep = menu->addAction(QStringLiteral("Keep running in the tray when closed"));
  keep->setCheckable(true);
  keep->setChecked(keepInTray_);
  connect(keep, &QAction::toggled, this, [this](bool on) { SetKeepInTray(on); });
  QAction* notices = menu->addAction(QStringLiteral("Desktop notifications"));
  notices->setCheckable(true);
  notices->setChecked(notificationsOn_);
  connect(notices, &QAction::toggled, this, [this](bool on) { SetNotificationsOn(on); });
  connect(tray_, &TrayIcon::showWindowRequested, this, [this] { BringToFront(); });
  connect(tray_, &TrayIcon::eventLogRequested, this, [this] {
    showNormal();
    OpenLogViewer();
  });
  connect(tray_, &TrayIcon::quitRequested, this, [this] { QuitProgram(); });
  ShowTrayState();
}

void MainWindow::BringToFront() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::QuitProgram() {
  quitting_ = true;
  if (close()) {
    QApplication::quit();
  } else {
    quitting_ = false;  // an upgrade runs
  }
}

void MainWindow::ShowTrayState() {
  if (!tray_ || !program_) return;
  TrayState worst = TrayState::Normal;
  QStringList lines;
  for (const Enclosure& enclosure : program_->engine().enclosures()) {
    worst = std::max(worst, TrayStateOf(enclosure.health));
    lines << QStringLiteral("Device%1: %2").arg(enclosure.position + 1).arg(EnclosureStateLine(enclosure));
  }
  if (lines.isEmpty()) {
    worst = TrayState::Failed;
    lines << (detectionText_->text().isEmpty() ? QStringLiteral("No Drive found!") : detectionText_->text().trimmed());
  }
  tray_->Show(worst, lines);
}

void MainWindow::NotifyEvent(const LogEvent& event) {
  if (!notificationsOn_ || !notifier_) return;
  if (const std::optional<DesktopNotice> notice = NoticeForEvent(event)) notifier_->Notify(*notice);
}

void MainWindow::ShowMessage(const QString& text, const QString& caption, MessageKind kind) {
  const bool upgradeRuns = program_ && program_->engine().UpgradeRunning();
  const DialogHooks::MessageFunction& show =
      upgradeRuns && dialogs_.openMessageBox ? dialogs_.openMessageBox : dialogs_.messageBox;
  if (show) show(this, text, caption, kind);
}

void MainWindow::SetDeviceSelectorsEnabled(bool enabled) {
  device1Box_->setEnabled(enabled);
  device2Box_->setEnabled(enabled);
}

void MainWindow::ShowDetectionNotice(const QString& text, bool shown) {
  detectionText_->setText(text);
  detectionText_->setVisible(shown);
}

void MainWindow::SetNavigationEnabled(bool enabled) {
  for (auto& nav : navigation_) nav.button->setEnabled(enabled);
  ShowPage();
}

void MainWindow::EngineChanged(UiUpdate what) {
  if (!program_) return;
  const Engine& engine = program_->engine();
  const std::array<QCheckBox*, 2> boxes{device1Box_, device2Box_};
  switch (what) {
    case UiUpdate::DeviceControls:
      for (unsigned i = 0; i < boxes.size(); ++i) {
        boxes[i]->setVisible(engine.deviceShown(i));
        boxes[i]->setChecked(engine.deviceChecked(i));
      }
      break;
    case UiUpdate::DeviceNames:
      for (unsigned i = 0; i < boxes.size(); ++i) boxes[i]->setToolTip(Q(engine.DeviceNameText(i)));
      break;
    default: break;
  }
  for (NotebookPage* page : pages_) page->EngineChanged(what);
  ShowSummary();
  ShowTrayState();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  const int current = program_ ? program_->engine().currentPage() : kPageStatus;
  for (const NavigationButton& nav : navigation_)
    if (nav.page == current && nav.button->isVisible()) nav.button->setFocus(Qt::ShortcutFocusReason);
  event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing asks about unsaved E-mail edits as leaving the page does.
  if (program_ && program_->engine().currentPage() == kPageEmail && !emailPage_->MayLeave()) {
    event->ignore();
    return;
  }
  if (program_ && keepInTray_ && tray_ && !quitting_) {
    // The program keeps watching from the notification area.
    hide();
    event->ignore();
    return;
  }
  if (!program_) {
    event->accept();
    return;
  }
  std::string error;
  if (!program_->Close(error)) {
    if (error.empty()) {  // an upgrade runs: the engine has said so
      event->ignore();
      return;
    }
    ShowMessage(Q(error), QStringLiteral("Error"), MessageKind::Error);
  }
  if (engineTimer_) engineTimer_->stop();
  if (viewer_) viewer_->close();
  event->accept();
}

void MainWindow::SessionEnding(QSessionManager& manager) {
  if (program_ && program_->engine().UpgradeRunning()) {
    if (manager.allowsInteraction()) {
      ShowMessage(QStringLiteral("Firmware is upgrading, please wait a moment."), QStringLiteral("Message"),
                  MessageKind::Information);
      manager.release();
    }
    manager.cancel();
    return;
  }
  close();
}

}  // namespace rur::ui
