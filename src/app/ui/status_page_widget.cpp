#include "app/ui/status_page_widget.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include "app/program.h"
#include "app/ui/artwork.h"
#include "app/ui/image_button.h"
#include "app/ui/qt_text.h"

namespace rur::ui {
namespace {

using namespace colours;

constexpr QRect kSummaryCard{8, 38, 401, 58};
constexpr QRect kHdd1Card{8, 104, 146, 120};
constexpr QRect kHdd2Card{263, 104, 146, 120};
constexpr QRect kFirmwareCard{8, 232, 401, 80};
constexpr int kValueX = 150;

QColor ColourOf(Rgb rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

void ShowLabel(QLabel* label, const LabelState& state) {
  label->setText(Q(state.text));
  SetTextColour(label, ColourOf(state.colour));
  label->setEnabled(state.enabled);
}

}  // namespace

StatusPageWidget::StatusPageWidget(PageHost& host, const DeviceButtonPictures& devicePictures)
    : NotebookPage(QStringLiteral("Panel3"), host) {
  const std::array<QString, 2> names{QStringLiteral("Image0_D1"), QStringLiteral("Image0_D2")};
  for (std::size_t i = 0; i < 2; ++i) {
    const QPoint at(8 + static_cast<int>(i) * (kDeviceButtonWidth + 6), 0);
    deviceButtons_[i] = new ImageButton(names[i], this);
    deviceButtons_[i]->setGeometry(QRect(at, QSize(kDeviceButtonWidth, kDeviceButtonHeight)));
    deviceYellow_[i] = PictureSource(names[i] + QStringLiteral("_Yellow"), devicePictures.yellow[i], this);
    deviceWhite_[i] = PictureSource(names[i] + QStringLiteral("_White"), devicePictures.white[i], this);
    deviceYellow_[i]->move(at);
    deviceWhite_[i]->move(at);
    deviceButtons_[i]->setPixmap(deviceWhite_[i]->pixmap());
    deviceButtons_[i]->hide();
  }
  connect(deviceButtons_[0], &ImageButton::clicked, this, [this] { Image0_D1Click(); });
  connect(deviceButtons_[1], &ImageButton::clicked, this, [this] { Image0_D2Click(); });

  Image0_Log = new ImageButton(QStringLiteral("Image0_Log"), this);
  Image0_Log->setGeometry(kPageWidth - 8 - kLogButtonWidth, 0, kLogButtonWidth, kLogButtonHeight);
  Image0_Log->setPixmap(LogButtonPicture());
  Image0_Log->setPressedLook(true);
  Image0_Log->hide();
  connect(Image0_Log, &ImageButton::clicked, this, [this] { host_.OpenLogViewer(); });

  AddLabel(QStringLiteral("Label43"), QStringLiteral("Mode:"), {20, 46, 126, 18});
  Label17 = AddLabel(QStringLiteral("Label17"), QString(), {kValueX, 46, 250, 18}, 13, true);
  AddLabel(QStringLiteral("Label44"), QStringLiteral("System Capacity:"), {20, 70, 126, 18});
  Label27 = AddLabel(QStringLiteral("Label27"), QString(), {kValueX, 70, 250, 18}, 13, true);

  for (const QRect& card : {kHdd1Card, kHdd2Card}) {
    const bool first = card == kHdd1Card;
    const int x = card.x() + 12;
    AddLabel(first ? QStringLiteral("Label45") : QStringLiteral("Label46"), first ? QStringLiteral("HDD1")
                                                                                  : QStringLiteral("HDD2"),
             {x, card.y() + 8, 80, 20}, 15, true);
    AddLabel(first ? QStringLiteral("Label49") : QStringLiteral("Label50"), QStringLiteral("Capacity"),
             {x, card.y() + 32, 120, 16}, 11);
    QLabel* capacity = AddLabel(first ? QStringLiteral("Label25") : QStringLiteral("Label26"), QString(),
                                {x, card.y() + 48, 124, 34}, 14, true);
    capacity->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QLabel* model = AddLabel(first ? QStringLiteral("Label51") : QStringLiteral("Label52"), QString(),
                             {x, card.y() + 82, 126, 34}, 12);
    model->setWordWrap(true);
    model->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    (first ? Label25 : Label26) = capacity;
    (first ? Label51 : Label52) = model;
  }
  Label18 = AddLabel(QStringLiteral("Label18"), QString(), {kHdd1Card.right() + 2, kHdd1Card.y() + 14,
                                                            kHdd2Card.x() - kHdd1Card.right() - 4, 92}, 14, true);
  Label18->setAlignment(Qt::AlignCenter);
  SetTextColour(Label18, kTeal.darker(115));

  AddLabel(QStringLiteral("Label47"), QStringLiteral("Firmware Version:"), {20, 242, 126, 18});
  Label48 = AddLabel(QStringLiteral("Label48"), QString(), {kValueX, 242, 250, 18}, 13, true);

  Panel11 = new QFrame(this);
  Panel11->setObjectName(QStringLiteral("Panel11"));
  Panel11->setGeometry(14, 270, 389, 34);
  auto* fanGlyph = new QLabel(Panel11);
  fanGlyph->setPixmap(GlyphPicture(Glyph::Fan, 20, kTeal));
  fanGlyph->setGeometry(6, 7, 20, 20);
  Label5 = new QLabel(Panel11);
  Label5->setObjectName(QStringLiteral("Label5"));
  Label5->setFont(WindowFont(14, true));
  Label5->setGeometry(32, 7, 52, 20);
  Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* rpm = new QLabel(QStringLiteral("RPM"), Panel11);
  rpm->setObjectName(QStringLiteral("Label15"));
  rpm->setGeometry(88, 7, 40, 20);
  auto* thermometer = new QLabel(Panel11);
  thermometer->setPixmap(GlyphPicture(Glyph::Thermometer, 20, kTeal));
  thermometer->setGeometry(150, 7, 20, 20);
  Label7 = new QLabel(Panel11);
  Label7->setObjectName(QStringLiteral("Label7"));
  Label7->setFont(WindowFont(14, true));
  Label7->setGeometry(174, 7, 30, 20);
  Label7->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* degrees = new QLabel(QStringLiteral("\u00B0C"), Panel11);
  degrees->setGeometry(208, 7, 30, 20);
  Panel11->hide();
}

void StatusPageWidget::EngineChanged(UiUpdate what) {
  switch (what) {
    case UiUpdate::StatusPage: ShowLabels(); break;
    case UiUpdate::DeviceControls:
    case UiUpdate::DeviceNames: ShowDeviceButtons(); break;
    case UiUpdate::PageButtons: Image0_Log->setVisible(host_.engine()->logButtonShown); break;
    default: break;
  }
}

void StatusPageWidget::ShowLabels() {
  const Engine& engine = *host_.engine();
  const StatusPageView& view = engine.statusPage.view();
  Label48->setText(Q(view.firmware));
  ShowLabel(Label5, view.fan);
  ShowLabel(Label7, view.temperature);
  Panel11->setVisible(view.sensorPanelShown);
  Label17->setText(Q(view.mode));
  Label27->setText(Q(view.systemCapacity));
  ShowLabel(Label25, view.hdd1Capacity);
  ShowLabel(Label51, view.hdd1Model);
  ShowLabel(Label26, view.hdd2Capacity);
  ShowLabel(Label52, view.hdd2Model);
  Label18->setText(Q(view.arrayState));
  if (view.logButtonShown) Image0_Log->show();
  ShowDeviceButtons();
}

void StatusPageWidget::ShowDeviceButtons() {
  const Engine& engine = *host_.engine();
  for (std::size_t i = 0; i < deviceButtons_.size(); ++i) {
    deviceButtons_[i]->setVisible(engine.deviceShown[i] && engine.deviceChecked[i]);
    deviceButtons_[i]->setToolTip(Q(engine.deviceNameTexts[i]));
    deviceButtons_[i]->setPixmap((engine.devices.selected == i ? deviceYellow_[i] : deviceWhite_[i])->pixmap());
  }
}

void StatusPageWidget::Image0_D1Click() {
  if (Engine* engine = host_.engine()) engine->SelectDevice(0);
  ShowDeviceButtons();
}

void StatusPageWidget::Image0_D2Click() {
  if (Engine* engine = host_.engine()) engine->SelectDevice(1);
  ShowDeviceButtons();
}

void StatusPageWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QColor wash(0xF7, 0xF9, 0xFB);
  for (const QRect& card : {kSummaryCard, kHdd1Card, kHdd2Card, kFirmwareCard}) {
    QPainterPath path;
    path.addRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(path, wash);
    painter.setPen(QPen(kLine, 1));
    painter.drawPath(path);
  }
  // The members' cards carry a drive picture in their corner.
  for (const QRect& card : {kHdd1Card, kHdd2Card}) {
    painter.drawPixmap(card.right() - 30, card.y() + 8, GlyphPicture(Glyph::Disk, 20, kTeal));
  }
  // A link between the members: the array joins them.
  painter.setPen(QPen(kLine, 2, Qt::SolidLine, Qt::RoundCap));
  const int y = kHdd1Card.bottom() - 14;
  painter.drawLine(kHdd1Card.right() + 10, y, kHdd2Card.left() - 10, y);
  painter.setBrush(kLine);
  painter.drawEllipse(QPointF(kHdd1Card.right() + 10, y), 2.5, 2.5);
  painter.drawEllipse(QPointF(kHdd2Card.left() - 10, y), 2.5, 2.5);
}

}  // namespace rur::ui
