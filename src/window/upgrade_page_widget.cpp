// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/upgrade_page_widget.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>

#include "app/program.h"
#include "platform/interruption_hold.h"
#include "window/artwork.h"
#include "window/enclosure_menu.h"
#include "window/image_button.h"
#include "window/page_artwork.h"
#include "window/qt_text.h"
#include "window/service_drives.h"

namespace rur::ui {
namespace {

using namespace colours;

constexpr QRect kVersionCard{8, 38, 401, 96};
constexpr QRect kAdviceCard{8, 142, 401, 172};
constexpr int kValueX = 150;
constexpr int kAdviceLineHeight = 22;

// What the user should know before and after an upgrade, one line each (Label55 .. Label60).
const std::array<const char*, 6> kAdvice{
    "Before you upgrade:",
    "1. Pick the enclosure and check its firmware version.",
    "2. Load the firmware file (*.bin) made for this enclosure.",
    "3. Click Upgrade: erase, program and verify run in turn.",
    "Keep the enclosure connected and powered until 3 / 3.",
    "Then power it off and on to start the new firmware.",
};

const QString kUpgradeCaption = QStringLiteral("Firmware Upgrade");

QString UpgradeQuestion(const UpgradeVersions& versions) {
  return QStringLiteral(
             "Write new firmware to Device%1 (%2)?\n\n"
             "Current firmware version: %3\nNew firmware version: %4\n\n"
             "The flash is erased, programmed and verified. Do not unplug or power off the enclosure until "
             "the upgrade has finished.")
      .arg(versions.position + 1)
      .arg(Q(versions.product), Q(versions.current), Q(versions.next));
}

}  // namespace

UpgradePageWidget::UpgradePageWidget(PageHost& host, DeviceButtonPictures devicePictures)
    : NotebookPage(QStringLiteral("UpgradePage"), host), pictures_(std::move(devicePictures)) {
  const std::array<QString, 2> names{QStringLiteral("Image2_D1"), QStringLiteral("Image2_D2")};
  for (std::size_t i = 0; i < pickers_.size(); ++i) {
    pickers_[i] = new ImageButton(names[i], this, QStringLiteral("Device%1").arg(i + 1),
                                  QStringLiteral("Picks the enclosure to upgrade"));
    pickers_[i]->setGeometry(8 + static_cast<int>(i) * (kDeviceButtonWidth + 6), 0, kDeviceButtonWidth,
                             kDeviceButtonHeight);
    pickers_[i]->setPixmap(pictures_.white[i]);
    pickers_[i]->hide();
  }
  connect(pickers_[0], &ImageButton::clicked, this, [this] { PickDevice(0); });
  connect(pickers_[1], &ImageButton::clicked, this, [this] { PickDevice(1); });
  // A host with more enclosures gets a third picker that offers the rest.
  morePicker_ = new ImageButton(QStringLiteral("Image2_More"), this, QStringLiteral("More devices"),
                                QStringLiteral("Picks an enclosure past Device2 to upgrade"));
  morePicker_->setGeometry(8 + static_cast<int>(kEnclosureButtons) * (kDeviceButtonWidth + 6), 0, kDeviceButtonWidth,
                           kDeviceButtonHeight);
  morePicker_->hide();
  connect(morePicker_, &ImageButton::clicked, this, [this] {
    if (const Engine* engine = host_.engine())
      ShowMoreEnclosuresMenu(morePicker_, *engine, engine->firmware().pickedDevice(),
                             [this](unsigned position) { PickDevice(position); });
  });

  AddLabel(QStringLiteral("Label53"), QStringLiteral("Firmware Version:"), {20, 48, 126, 18});
  firmwareVersionLabel_ = AddLabel(QStringLiteral("Label54"), QString(), {kValueX, 48, 250, 18}, 13, true);
  AddLabel(QStringLiteral("FileCaption"), QStringLiteral("Firmware File:"), {20, 74, 126, 18});

  checksumLabel_ = AddLabel(QStringLiteral("ChecksumLabel"), QString(), {kValueX, 74, 250, 18}, 12);
  SetTextColour(checksumLabel_, colours::kMuted);

  firmwareFileEdit_ = new QLineEdit(this);
  firmwareFileEdit_->setObjectName(QStringLiteral("Edit9"));
  firmwareFileEdit_->setGeometry(20, 96, 285, 26);
  firmwareFileEdit_->setReadOnly(true);
  firmwareFileEdit_->setAccessibleName(QStringLiteral("Firmware File"));

  loadButton_ = new ImageButton(QStringLiteral("Image2_Load"), this, QStringLiteral("Load"),
                                QStringLiteral("Chooses a firmware file and checks it"));
  loadButton_->setGeometry(313, 96, 84, kActionButtonHeight);
  loadButton_->setPixmap(ActionButtonPicture(QStringLiteral("Load"), 84, ActionLook::Secondary));
  loadButton_->setPressedLook(true);
  connect(loadButton_, &ImageButton::clicked, this, [this] { LoadFirmwareFile(); });

  upgradeButton_ = new ImageButton(QStringLiteral("Image2_Upgrade"), this, QStringLiteral("Upgrade"),
                                   QStringLiteral("Writes the loaded firmware to the picked enclosure"));
  upgradeButton_->setGeometry(kPageWidth - 8 - 120, 0, 120, kActionButtonHeight);
  upgradeButton_->setPixmap(ActionButtonPicture(QStringLiteral("Upgrade"), 120, ActionLook::Primary));
  upgradeButton_->setPressedLook(true);
  connect(upgradeButton_, &ImageButton::clicked, this, [this] { StartUpgrade(); });

  for (std::size_t i = 0; i < kAdvice.size(); ++i) {
    const int y = kAdviceCard.y() + 10 + static_cast<int>(i) * kAdviceLineHeight + (i >= 4 ? 8 : 0);
    QLabel* line = AddLabel(QStringLiteral("Label%1").arg(55 + static_cast<int>(i)), QString::fromLatin1(kAdvice[i]),
                            {20, y, 380, 18}, 12, i == 0);
    if (i >= 4) SetTextColour(line, QColor(0xA0, 0x5A, 0x00));
  }

  // The progress panel takes the advice card's place while an upgrade runs; its caption counts
  // the steps.
  progressPanel_ = new QLabel(this);
  progressPanel_->setObjectName(QStringLiteral("Panel1"));
  progressPanel_->setGeometry(kAdviceCard.adjusted(1, 1, -1, -1));
  progressPanel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  progressPanel_->setMargin(34);
  progressPanel_->setFont(WindowFont(16, true));
  progressPanel_->setAutoFillBackground(true);
  QPalette panelPalette = progressPanel_->palette();
  panelPalette.setColor(QPalette::Window, QColor(0xEE, 0xF6, 0xF9));
  panelPalette.setColor(QPalette::WindowText, kNight);
  progressPanel_->setPalette(panelPalette);
  progressLabel_ = new QLabel(progressPanel_);
  progressLabel_->setObjectName(QStringLiteral("Label12"));
  progressLabel_->setTextFormat(Qt::PlainText);
  progressLabel_->setGeometry(32, 76, progressPanel_->width() - 64, 18);
  progressLabel_->setFont(WindowFont(12));
  progressBar_ = new QProgressBar(progressPanel_);
  progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
  progressBar_->setGeometry(32, 98, progressPanel_->width() - 64, 20);
  progressBar_->setTextVisible(false);
  progressBar_->setRange(0, 1);
  progressBar_->setValue(0);
  progressPanel_->hide();
}

void UpgradePageWidget::EngineChanged(UiUpdate what) {
  const Engine& engine = *host_.engine();
  switch (what) {
    case UiUpdate::DeviceControls: ShowPickers(); break;
    case UiUpdate::DeviceNames:
      if (engine.currentPage() == kPageUpgrade) firmwareVersionLabel_->setText(Q(engine.revisionText()));
      break;
    default: break;
  }
}

void UpgradePageWidget::SetUpgradeStartable(bool startable) { upgradeButton_->setEnabled(startable); }

void UpgradePageWidget::PickDevice(unsigned position) {
  Engine* engine = host_.engine();
  if (!engine || engine->UpgradeTargetSet()) return;
  engine->PickUpgradeDevice(position);
  RefreshPickers();
}

void UpgradePageWidget::RefreshPickers() {
  const Engine* engine = host_.engine();
  if (!engine) return;
  ShowPickers();
  firmwareVersionLabel_->setText(Q(engine->revisionText()));
}

void UpgradePageWidget::ShowPickers() {
  const Engine& engine = *host_.engine();
  const unsigned picked = engine.firmware().pickedDevice();
  for (unsigned i = 0; i < pickers_.size(); ++i) {
    pickers_[i]->setPixmap(picked == i ? pictures_.yellow[i] : pictures_.white[i]);
    pickers_[i]->setVisible(engine.deviceShown(i));
    pickers_[i]->setToolTip(Q(engine.DeviceNameText(i)));
  }
  const bool othersShown = engine.deviceCount() > kEnclosureButtons;
  morePicker_->setVisible(othersShown);
  if (!othersShown) return;
  const bool otherPicked = picked >= kEnclosureButtons && picked < engine.deviceCount();
  morePicker_->setPixmap(
      DeviceButtonPicture(otherPicked ? QStringLiteral("Device%1").arg(picked + 1) : kMoreEnclosuresCaption,
                          otherPicked ? ButtonLook::Yellow : ButtonLook::White));
  morePicker_->setToolTip(MoreEnclosuresEntries(engine).join(QLatin1Char('\n')));
}

void UpgradePageWidget::LoadFirmwareFile() {
  Engine* engine = host_.engine();
  if (!engine || !engine->firmware().CanChooseFile() || !host_.dialogs().chooseFile) return;
  const QString path = host_.dialogs().chooseFile(window(), kFirmwareFileFilter, lastFolder_);
  if (path.isEmpty()) return;
  lastFolder_ = QFileInfo(path).absolutePath();
  checksumLabel_->clear();
  imagePath_.clear();
  if (!engine->LoadFirmwareImage(QFile::encodeName(path).toStdString())) {
    // A refused file is not the one an upgrade would write: the field does not keep it.
    firmwareFileEdit_->clear();
    return;
  }
  imagePath_ = QFile::encodeName(path).toStdString();
}

void UpgradePageWidget::ShowChecksum(const QString& text) { checksumLabel_->setText(text); }

void UpgradePageWidget::StartUpgrade() {
  Engine* engine = host_.engine();
  if (!engine) return;
  if (engine->controllersRelayed()) return StartServiceUpgrade(*engine);
  // A click while a run goes on is refused by the engine, and says so.
  if (engine->UpgradeRunning()) {
    engine->RunUpgrade();
    return;
  }
  // What changes is shown and confirmed before the flash is touched. Without versions (no image,
  // no device) the engine refuses the run and says why.
  if (const std::optional<UpgradeVersions> versions = engine->PickedUpgradeVersions()) {
    const DialogHooks& dialogs = host_.dialogs();
    if (!dialogs.askConfirm || !dialogs.askConfirm(window(), UpgradeQuestion(*versions), kUpgradeCaption)) return;
  }
  // The engine holds the signals that would end the program during the run; its outcome is shown
  // by the engine's message.
  engine->RunUpgrade();
  // A request to end the program that came during the run was held until the flash was consistent.
  if (InterruptionHold::lastHeldSignal() != 0) emit endRequested();
}

void UpgradePageWidget::StartServiceUpgrade(Engine& engine) {
  const DialogHooks& dialogs = host_.dialogs();
  const auto tell = [&](const QString& text, MessageKind kind) {
    if (dialogs.messageBox) dialogs.messageBox(window(), text, kUpgradeCaption, kind);
  };
  if (serviceUpgrade_ != nullptr && serviceUpgrade_->running())
    return tell(QStringLiteral("The upgrade through rode-rurd is still running."), MessageKind::Information);
  const std::optional<UpgradeVersions> versions = engine.PickedUpgradeVersions();
  auto* drives = host_.program() ? dynamic_cast<ServiceDrives*>(&host_.program()->drives()) : nullptr;
  if (!versions || imagePath_.empty() || drives == nullptr)
    return tell(QStringLiteral("Choose a firmware file for an enclosure that is present first."),
                MessageKind::Information);
  if (!dialogs.askConfirm || !dialogs.askConfirm(window(), UpgradeQuestion(*versions), kUpgradeCaption)) return;
  const QString object = drives->ObjectOf(engine.DriveAt(versions->position));
  if (serviceUpgrade_ == nullptr) {
    serviceUpgrade_ = new ServiceUpgrade(this);
    connect(serviceUpgrade_, &ServiceUpgrade::progressed, this, [this](const QString& step, int percent) {
      ShowUpgradePanel(true, kUpgradeCaption, QStringLiteral("rode-rurd: %1").arg(step));
      ShowProgress(percent, 100);
    });
    connect(serviceUpgrade_, &ServiceUpgrade::finished, this, [this](bool ok, const QString& message) {
      ShowUpgradePanel(false, kUpgradeCaption, QString());
      if (host_.dialogs().messageBox)
        host_.dialogs().messageBox(window(), message, kUpgradeCaption,
                                   ok ? MessageKind::Information : MessageKind::Error);
      // The controller answers with its new firmware: a detection reads it.
      if (Engine* current = host_.engine()) current->DeviceChangeNotice();
    });
  }
  std::string error;
  if (!serviceUpgrade_->Start(object, imagePath_, error)) return tell(Q(error), MessageKind::Error);
  ShowUpgradePanel(true, kUpgradeCaption, QStringLiteral("rode-rurd: waiting"));
}

void UpgradePageWidget::ShowProgress(int position, int maximum) {
  progressBar_->setRange(0, std::max(maximum, 1));
  progressBar_->setValue(std::clamp(position, 0, progressBar_->maximum()));
}

void UpgradePageWidget::ShowUpgradePanel(bool shown, const QString& caption, const QString& label) {
  progressPanel_->setText(caption);
  progressLabel_->setText(label);
  progressPanel_->setVisible(shown);
  for (ImageButton* picker : pickers_) picker->setEnabled(!shown);
  morePicker_->setEnabled(!shown);
  loadButton_->setEnabled(!shown);
}

void UpgradePageWidget::ShowFirmwareFile(const QString& name) { firmwareFileEdit_->setText(name); }

void UpgradePageWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (const QRect& card : {kVersionCard, kAdviceCard}) {
    QPainterPath path;
    path.addRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(path, QColor(0xF7, 0xF9, 0xFB));
    painter.setPen(QPen(kLine, 1));
    painter.drawPath(path);
  }
  painter.drawPixmap(kVersionCard.right() - 30, kVersionCard.y() + 8, GlyphPicture(Glyph::Upgrade, 20, kTeal));
}

}  // namespace rur::ui
