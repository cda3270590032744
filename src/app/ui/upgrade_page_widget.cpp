#include "app/ui/upgrade_page_widget.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>

#include "app/program.h"
#include "app/ui/artwork.h"
#include "app/ui/image_button.h"
#include "app/ui/page_artwork.h"
#include "app/ui/qt_text.h"

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

}  // namespace

UpgradePageWidget::UpgradePageWidget(PageHost& host, DeviceButtonPictures devicePictures)
    : NotebookPage(QStringLiteral("UpgradePage"), host), pictures_(std::move(devicePictures)) {
  const std::array<QString, 2> names{QStringLiteral("Image2_D1"), QStringLiteral("Image2_D2")};
  for (std::size_t i = 0; i < pickers_.size(); ++i) {
    pickers_[i] = new ImageButton(names[i], this);
    pickers_[i]->setGeometry(8 + static_cast<int>(i) * (kDeviceButtonWidth + 6), 0, kDeviceButtonWidth,
                             kDeviceButtonHeight);
    pickers_[i]->setPixmap(pictures_.white[i]);
    pickers_[i]->hide();
  }
  connect(pickers_[0], &ImageButton::clicked, this, [this] { Image2_D1Click(); });
  connect(pickers_[1], &ImageButton::clicked, this, [this] { Image2_D2Click(); });

  AddLabel(QStringLiteral("Label53"), QStringLiteral("Firmware Version:"), {20, 48, 126, 18});
  Label54 = AddLabel(QStringLiteral("Label54"), QString(), {kValueX, 48, 250, 18}, 13, true);
  AddLabel(QStringLiteral("FileCaption"), QStringLiteral("Firmware File:"), {20, 74, 126, 18});

  Edit9 = new QLineEdit(this);
  Edit9->setObjectName(QStringLiteral("Edit9"));
  Edit9->setGeometry(20, 96, 285, 26);
  Edit9->setReadOnly(true);
  Edit9->setFocusPolicy(Qt::ClickFocus);

  Image2_Load = new ImageButton(QStringLiteral("Image2_Load"), this);
  Image2_Load->setGeometry(313, 96, 84, kActionButtonHeight);
  Image2_Load->setPixmap(ActionButtonPicture(QStringLiteral("Load"), 84, ActionLook::Secondary));
  Image2_Load->setPressedLook(true);
  connect(Image2_Load, &ImageButton::clicked, this, [this] { Image2_LoadClick(); });

  Image2_Upgrade = new ImageButton(QStringLiteral("Image2_Upgrade"), this);
  Image2_Upgrade->setGeometry(kPageWidth - 8 - 120, 0, 120, kActionButtonHeight);
  Image2_Upgrade->setPixmap(ActionButtonPicture(QStringLiteral("Upgrade"), 120, ActionLook::Primary));
  Image2_Upgrade->setPressedLook(true);
  connect(Image2_Upgrade, &ImageButton::clicked, this, [this] { Image2_UpgradeClick(); });

  for (std::size_t i = 0; i < kAdvice.size(); ++i) {
    const int y = kAdviceCard.y() + 10 + static_cast<int>(i) * kAdviceLineHeight + (i >= 4 ? 8 : 0);
    QLabel* line = AddLabel(QStringLiteral("Label%1").arg(55 + static_cast<int>(i)), QString::fromLatin1(kAdvice[i]),
                            {20, y, 380, 18}, 12, i == 0);
    if (i >= 4) SetTextColour(line, QColor(0xA0, 0x5A, 0x00));
  }

  // The progress panel takes the advice card's place while an upgrade runs; its caption counts
  // the steps.
  Panel1 = new QLabel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(kAdviceCard.adjusted(1, 1, -1, -1));
  Panel1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Panel1->setMargin(34);
  Panel1->setFont(WindowFont(16, true));
  Panel1->setAutoFillBackground(true);
  QPalette panelPalette = Panel1->palette();
  panelPalette.setColor(QPalette::Window, QColor(0xEE, 0xF6, 0xF9));
  panelPalette.setColor(QPalette::WindowText, kNight);
  Panel1->setPalette(panelPalette);
  Label12 = new QLabel(Panel1);
  Label12->setObjectName(QStringLiteral("Label12"));
  Label12->setGeometry(32, 76, Panel1->width() - 64, 18);
  Label12->setFont(WindowFont(12));
  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(32, 98, Panel1->width() - 64, 20);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 1);
  ProgressBar1->setValue(0);
  Panel1->hide();
}

void UpgradePageWidget::EngineChanged(UiUpdate what) {
  const Engine& engine = *host_.engine();
  switch (what) {
    case UiUpdate::UpgradeButton: Image2_Upgrade->setEnabled(engine.upgradeButtonEnabled); break;
    case UiUpdate::DeviceControls: ShowPickers(); break;
    case UiUpdate::DeviceNames:
      if (engine.currentPage == kPageUpgrade) Label54->setText(Q(engine.revisionText));
      break;
    default: break;
  }
}

void UpgradePageWidget::PickDevice(unsigned position) {
  Engine* engine = host_.engine();
  if (!engine || engine->upgrade.targetSet()) return;
  if (position == 0) engine->firmware.Image2_D1Click();
  else engine->firmware.Image2_D2Click();
  RefreshPickers();
}

void UpgradePageWidget::RefreshPickers() {
  Engine* engine = host_.engine();
  if (!engine) return;
  // A device that went away cannot stay picked.
  if (!engine->upgrade.targetSet() && engine->devices.currentCount > 0 &&
      engine->upgrade.UpgradeSelection.load() >= engine->devices.currentCount)
    engine->upgrade.UpgradeSelection = 0;
  engine->SelectDevice(engine->upgrade.UpgradeSelection.load());
  ShowPickers();
  Label54->setText(Q(engine->revisionText));
}

void UpgradePageWidget::ShowPickers() {
  const Engine& engine = *host_.engine();
  const unsigned picked = engine.upgrade.UpgradeSelection.load();
  for (std::size_t i = 0; i < pickers_.size(); ++i) {
    pickers_[i]->setPixmap(picked == i ? pictures_.yellow[i] : pictures_.white[i]);
    pickers_[i]->setVisible(engine.deviceShown[i]);
    pickers_[i]->setToolTip(Q(engine.deviceNameTexts[i]));
  }
}

void UpgradePageWidget::Image2_LoadClick() {
  Engine* engine = host_.engine();
  if (!engine || !engine->firmware.Image2_LoadClick() || !host_.dialogs().chooseFile) return;
  const QString path = host_.dialogs().chooseFile(window(), kFirmwareFileFilter);
  if (path.isEmpty()) return;
  engine->firmware.LoadImage(QFile::encodeName(path).toStdString(),
                             engine->UpgradeFacts(engine->upgrade.UpgradeSelection.load()));
}

void UpgradePageWidget::Image2_UpgradeClick() {
  if (Engine* engine = host_.engine()) engine->firmware.Image2_UpgradeClick();
}

void UpgradePageWidget::ShowProgress(int position, int maximum) {
  ProgressBar1->setRange(0, std::max(maximum, 1));
  ProgressBar1->setValue(std::clamp(position, 0, ProgressBar1->maximum()));
}

void UpgradePageWidget::ShowUpgradePanel(bool shown, const QString& caption, const QString& label) {
  Panel1->setText(caption);
  Label12->setText(label);
  Panel1->setVisible(shown);
  for (ImageButton* picker : pickers_) picker->setEnabled(!shown);
  Image2_Load->setEnabled(!shown);
}

void UpgradePageWidget::ShowFirmwareFile(const QString& name) { Edit9->setText(name); }

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
