#include "app/ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QScreen>
#include <QSessionManager>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cstdint>

#include "app/program.h"
#include "app/ui/about_page_widget.h"
#include "app/ui/email_page_widget.h"
#include "app/ui/image_button.h"
#include "app/ui/log_viewer.h"
#include "app/ui/panel_status_bar.h"
#include "app/ui/qt_text.h"
#include "app/ui/smart_page_widget.h"
#include "app/ui/status_page_widget.h"
#include "app/ui/upgrade_page_widget.h"
#include "notify/mail_center.h"
#include "notify/system_info.h"
#include "platform/branding.h"

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

// Hints stay up for six seconds wherever they are shown.
class ToolTipDuration : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->toolTip().isEmpty()) return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), kToolTipShownMs);
    return true;
  }
};

}  // namespace

// The window as the engine sees it. The detection thread may report panel texts and messages and
// ask for a pump: texts and messages are queued to the window's thread, and a pump off that
// thread does nothing.
class TForm1::Sink final : public Ui {
 public:
  explicit Sink(TForm1& form) : form_(form) {}

  void panel(int index, const std::string& text) override {
    const QString shown = Q(text);
    if (OnWindowThread()) {
      form_.SetPanel(index, shown);
    } else {
      QMetaObject::invokeMethod(&form_, [form = &form_, index, shown] { form->SetPanel(index, shown); },
                                Qt::QueuedConnection);
    }
  }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    const QString shownText = Q(text);
    const QString shownCaption = Q(caption);
    if (OnWindowThread()) {
      form_.ShowMessage(shownText, shownCaption, kind);
    } else {
      QMetaObject::invokeMethod(
          &form_, [form = &form_, shownText, shownCaption, kind] { form->ShowMessage(shownText, shownCaption, kind); },
          Qt::QueuedConnection);
    }
  }
  void pump() override {
    if (OnWindowThread()) QCoreApplication::processEvents();
  }
  void update(UiUpdate what) override {
    if (OnWindowThread()) {
      form_.EngineChanged(what);
    } else {
      QMetaObject::invokeMethod(&form_, [form = &form_, what] { form->EngineChanged(what); }, Qt::QueuedConnection);
    }
  }
  void deviceSelectorsEnabled(bool enabled) override { form_.SetDeviceSelectorsEnabled(enabled); }
  void progress(int position, int maximum) override { form_.upgradePage()->ShowProgress(position, maximum); }
  void upgradePanel(bool shown, const std::string& caption, const std::string& label) override {
    form_.upgradePage()->ShowUpgradePanel(shown, Q(caption), Q(label));
  }
  void firmwareFile(const std::string& name) override { form_.upgradePage()->ShowFirmwareFile(Q(name)); }

 private:
  bool OnWindowThread() const { return QThread::currentThread() == form_.thread(); }
  TForm1& form_;
};

TForm1::TForm1(DialogHooks dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(std::move(dialogs)),
      sink_(std::make_unique<Sink>(*this)) {
  setObjectName(QStringLiteral("TForm1"));
  setFixedSize(kClientWidth, kClientHeight);
  setFont(WindowFont());
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
  setWindowTitle(Q(std::string(ApplicationTitle)));
  BuildFrame();
  BuildNavigation();
}

TForm1::~TForm1() {
  if (engineTimer_) engineTimer_->stop();
}

Ui& TForm1::sink() { return *sink_; }

Engine* TForm1::engine() { return program_ ? &program_->engine() : nullptr; }

void TForm1::BuildFrame() {
  const QSize backgroundSize(kClientWidth, kClientHeight - kStatusBarHeight);
  Image_Background = new QLabel(this);
  Image_Background->setObjectName(QStringLiteral("Image_Background"));
  Image_Background->setGeometry(QRect(QPoint(0, 0), backgroundSize));
  Image_Background->setAlignment(Qt::AlignCenter);
  PictureSource(QStringLiteral("Image_Background_RAID"), BackgroundPicture(BackgroundKind::Raid, backgroundSize), this);
  PictureSource(QStringLiteral("Image_Background_HyBrid"), BackgroundPicture(BackgroundKind::HyBrid, backgroundSize),
                this);
  PictureSource(QStringLiteral("Image_Background_OEM"), BackgroundPicture(BackgroundKind::Oem, backgroundSize), this);

  StaticText1 = new QLabel(QStringLiteral("Drive detecting"), this);
  StaticText1->setObjectName(QStringLiteral("StaticText1"));
  StaticText1->setGeometry(kNavigationX, 74, kNavigationWidth, 22);
  StaticText1->setAlignment(Qt::AlignCenter);
  StaticText1->setFont(WindowFont(13, true));
  SetTextColour(StaticText1, QColor(0xC0, 0x39, 0x2B));

  CheckBox1 = new QCheckBox(QStringLiteral("Device1"), this);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setGeometry(kNavigationX + 4, 388, 80, 20);
  CheckBox3 = new QCheckBox(QStringLiteral("Device2"), this);
  CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
  CheckBox3->setGeometry(kNavigationX + 88, 388, 80, 20);
  connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
  connect(CheckBox3, &QCheckBox::clicked, this, [this] { CheckBox3Click(); });

  Notebook1 = new QStackedWidget(this);
  Notebook1->setObjectName(QStringLiteral("Notebook1"));
  Notebook1->setGeometry(QRect(kNotebookAt, QSize(kPageWidth, kPageHeight)));
  const DeviceButtonPictures devicePictures = DrawDeviceButtons();
  statusPage_ = new StatusPageWidget(*this, devicePictures);
  upgradePage_ = new UpgradePageWidget(*this, devicePictures);
  emailPage_ = new EmailPageWidget(*this);
  aboutPage_ = new AboutPageWidget(*this);
  smartPage_ = new SmartPageWidget(*this);
  auto* schedulePage = new NotebookPage(QStringLiteral("schedule_backup"), *this);
  pages_ = {statusPage_, schedulePage, upgradePage_, emailPage_, aboutPage_, smartPage_};
  for (NotebookPage* page : pages_) Notebook1->addWidget(page);

  std::vector<int> widths(kPanelWidths.begin(), kPanelWidths.end());
  StatusBar1 = new PanelStatusBar(QStringLiteral("StatusBar1"), widths, this);
  StatusBar1->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  connect(StatusBar1, &PanelStatusBar::doubleClicked, this, [this] { StatusBar1DblClick(); });
}

TForm1::NavigationButton TForm1::MakeNavigationButton(const QString& name, const QString& caption, Glyph glyph,
                                                      int page, int y) {
  NavigationButton nav;
  nav.page = page;
  nav.button = new ImageButton(name, this);
  nav.button->setGeometry(kNavigationX, y, kNavigationWidth, kNavigationHeight);
  nav.yellow = PictureSource(name + QStringLiteral("_Yellow"), NavigationPicture(caption, glyph, ButtonLook::Yellow),
                             this);
  nav.white = PictureSource(name + QStringLiteral("_White"), NavigationPicture(caption, glyph, ButtonLook::White),
                            this);
  nav.yellow->move(kNavigationX, y);
  nav.white->move(kNavigationX, y);
  nav.button->setPixmap(nav.white->pixmap());
  return nav;
}

void TForm1::BuildNavigation() {
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
  connect(navigation_[0].button, &ImageButton::clicked, this, [this] { Image_StsClick(); });
  connect(navigation_[2].button, &ImageButton::clicked, this, [this] { Image_FWUpgClick(); });
  connect(navigation_[3].button, &ImageButton::clicked, this, [this] { Image_EmailClick(); });
  connect(navigation_[4].button, &ImageButton::clicked, this, [this] { Image_SMARTClick(); });
  connect(navigation_[5].button, &ImageButton::clicked, this, [this] { Image_AboutClick(); });
}

void TForm1::Attach(Program& program) { program_ = &program; }

void TForm1::FormCreate() {
  setWindowIcon(ApplicationIcon());
  QApplication::setWindowIcon(ApplicationIcon());
  qApp->installEventFilter(new ToolTipDuration(this));
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
    SessionEnding(manager);
  });

  // Pages first: starting the program already reports detection texts to them.
  for (auto& nav : navigation_) nav.button->setEnabled(false);
  CheckBox1->hide();
  CheckBox3->hide();
  Image_Background->setPixmap(findChild<QLabel*>(QStringLiteral("Image_Background_RAID"))->pixmap());
  LayOutNavigation(kNavigationMask);
  setWindowTitle(Q(std::string(ApplicationTitle)));

  if (!program_) return;
  program_->Start();
  program_->engine().currentPage = kPageStatus;
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
      const std::uint64_t next = program_->engine().scheduler.nextDue();
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

void TForm1::LayOutNavigation(unsigned mask) {
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

void TForm1::ShowPage() {
  const int current = program_ ? program_->engine().currentPage : kPageStatus;
  for (auto& nav : navigation_) nav.button->setPixmap((nav.page == current ? nav.yellow : nav.white)->pixmap());
  Notebook1->setCurrentIndex(current);
}

bool TForm1::NavigationAllowed() const {
  if (!program_) return false;
  const Engine& engine = program_->engine();
  return !engine.upgrade.targetSet() && !engine.programStarted;
}

void TForm1::OpenPage(int page) {
  program_->engine().currentPage = page;
  ShowPage();
}

void TForm1::Image_StsClick() {
  if (!NavigationAllowed()) return;
  OpenPage(kPageStatus);
  Engine& engine = program_->engine();
  engine.devices.active = engine.devices.selected;
  engine.RedrawStatusPage(false);
  statusPage_->PageOpened();
}

void TForm1::Image_FWUpgClick() {
  if (!NavigationAllowed()) return;
  OpenPage(kPageUpgrade);
  upgradePage_->PageOpened();
}

void TForm1::Image_EmailClick() {
  if (!NavigationAllowed()) return;
  OpenPage(kPageEmail);
  emailPage_->PageOpened();
}

void TForm1::Image_AboutClick() {
  if (!NavigationAllowed()) return;
  OpenPage(kPageAbout);
  aboutPage_->PageOpened();
}

void TForm1::Image_SMARTClick() {
  if (!NavigationAllowed()) return;
  OpenPage(kPageSmart);
  program_->engine().EvaluateSmartPage();
  smartPage_->PageOpened();
}

void TForm1::StatusBar1DblClick() {
  if (!program_) return;
  ShowMessage(Q(SystemInfoMessage(program_->mail().SystemInfoText())), QStringLiteral("System Information"),
              MessageKind::Information);
}

void TForm1::OpenLogViewer() {
  if (!program_ || viewer_) return;
  viewer_ = new TForm5(*program_, dialogs_, this);
  viewer_->setAttribute(Qt::WA_DeleteOnClose);
  viewer_->setWindowModality(Qt::ApplicationModal);
  viewer_->show();
}

void TForm1::CheckBox1Click() {
  if (program_) program_->engine().SetDeviceChecked(0, CheckBox1->isChecked());
}

void TForm1::CheckBox3Click() {
  if (program_) program_->engine().SetDeviceChecked(1, CheckBox3->isChecked());
}

void TForm1::SetPanel(int index, const QString& text) { StatusBar1->setPanelText(index, text); }

void TForm1::ShowMessage(const QString& text, const QString& caption, MessageKind kind) {
  if (dialogs_.messageBox) dialogs_.messageBox(this, text, caption, kind);
}

void TForm1::SetDeviceSelectorsEnabled(bool enabled) {
  CheckBox1->setEnabled(enabled);
  CheckBox3->setEnabled(enabled);
}

void TForm1::EngineChanged(UiUpdate what) {
  if (!program_) return;
  const Engine& engine = program_->engine();
  switch (what) {
    case UiUpdate::DetectionText:
      StaticText1->setText(Q(engine.detectionText));
      StaticText1->setVisible(engine.detectionTextVisible);
      break;
    case UiUpdate::DeviceControls: {
      const std::array<QCheckBox*, 2> boxes{CheckBox1, CheckBox3};
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setVisible(engine.deviceShown[i]);
        boxes[i]->setChecked(engine.deviceChecked[i]);
      }
      break;
    }
    case UiUpdate::PageButtons:
      for (auto& nav : navigation_) nav.button->setEnabled(engine.pageButtonsEnabled);
      ShowPage();
      break;
    case UiUpdate::DeviceNames: {
      const std::array<QCheckBox*, 2> boxes{CheckBox1, CheckBox3};
      for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setToolTip(Q(engine.deviceNameTexts[i]));
      setWindowTitle(Q(engine.windowCaption));
      break;
    }
    default: break;
  }
  for (NotebookPage* page : pages_) page->EngineChanged(what);
}

void TForm1::closeEvent(QCloseEvent* event) {
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

void TForm1::SessionEnding(QSessionManager& manager) {
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
