// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/status_page_widget.h"

#include <QFontMetrics>
#include <QFrame>

#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <cstdlib>

#include "app/program.h"
#include "notify/mail_center.h"
#include "window/artwork.h"
#include "window/enclosure_menu.h"
#include "window/image_button.h"
#include "window/qt_text.h"

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

// A disk's model on at most two lines of its card; a longer one ends in "..." and the whole name
// is the label's tooltip.
void ShowModel(QLabel* label, const LabelState& state) {
  ShowLabel(label, state);
  const QString model = Q(state.text);
  const QFontMetrics metrics(label->font());
  const int width = label->width();
  QString shown = model;
  if (metrics.horizontalAdvance(model) > width) {
    // Break after the last blank that keeps the first line within the card, else anywhere.
    int split = model.size();
    while (split > 0 && metrics.horizontalAdvance(model.left(split)) > width) --split;
    const int blank = model.lastIndexOf(QLatin1Char(' '), split);
    if (blank > 0) split = blank;
    const QString first = model.left(split).trimmed();
    const QString rest = metrics.elidedText(model.mid(split).trimmed(), Qt::ElideRight, width);
    shown = first + QLatin1Char('\n') + rest;
  }
  label->setText(shown);
  label->setToolTip(shown == model ? QString() : model);
}

// The array's state in the colour of its urgency: a healthy or rebuilding array in the page's
// colour, a degraded one as a warning, a failed or silent one as an error. The texts stay as they are.
QColor ArrayStateColour(const std::string& state) {
  if (state == "Normal" || state.find("Rebuilding") != std::string::npos) return kTeal.darker(115);
  if (state == "Failure" || state == kNotAnsweringText) return kError;
  return kWarning;
}

}  // namespace

StatusPageWidget::StatusPageWidget(PageHost& host, const DeviceButtonPictures& devicePictures)
    : NotebookPage(QStringLiteral("Panel3"), host) {
  const std::array<QString, 2> names{QStringLiteral("Image0_D1"), QStringLiteral("Image0_D2")};
  for (std::size_t i = 0; i < 2; ++i) {
    const QPoint at(8 + static_cast<int>(i) * (kDeviceButtonWidth + 6), 0);
    deviceButtons_[i] = new ImageButton(names[i], this, QStringLiteral("Device%1").arg(i + 1),
                                        QStringLiteral("Shows this enclosure's status"));
    deviceButtons_[i]->setGeometry(QRect(at, QSize(kDeviceButtonWidth, kDeviceButtonHeight)));
    deviceYellow_[i] = PictureSource(names[i] + QStringLiteral("_Yellow"), devicePictures.yellow[i], this);
    deviceWhite_[i] = PictureSource(names[i] + QStringLiteral("_White"), devicePictures.white[i], this);
    deviceYellow_[i]->move(at);
    deviceWhite_[i]->move(at);
    deviceButtons_[i]->setPixmap(deviceWhite_[i]->pixmap());
    deviceButtons_[i]->hide();
  }
  connect(deviceButtons_[0], &ImageButton::clicked, this, [this] { SelectDevice(0); });
  connect(deviceButtons_[1], &ImageButton::clicked, this, [this] { SelectDevice(1); });
  // A host with more enclosures gets a third button beside them that offers the rest.
  otherDevicesButton_ = new ImageButton(QStringLiteral("otherDevicesButton"), this, QStringLiteral("More devices"),
                                        QStringLiteral("Offers the enclosures past Device2"));
  otherDevicesButton_->setGeometry(
      QRect(QPoint(8 + 2 * (kDeviceButtonWidth + 6), 0), QSize(kDeviceButtonWidth, kDeviceButtonHeight)));
  otherDevicesButton_->setPixmap(DeviceButtonPicture(kMoreEnclosuresCaption, ButtonLook::White));
  otherDevicesButton_->hide();
  connect(otherDevicesButton_, &ImageButton::clicked, this, [this] { ShowOtherDevicesMenu(); });

  logButton_ = new ImageButton(QStringLiteral("Image0_Log"), this, QStringLiteral("Event log"),
                               QStringLiteral("Opens the event log viewer"));
  logButton_->setGeometry(kPageWidth - 8 - kLogButtonWidth, 0, kLogButtonWidth, kLogButtonHeight);
  logButton_->setPixmap(LogButtonPicture());
  logButton_->setPressedLook(true);
  logButton_->hide();
  connect(logButton_, &ImageButton::clicked, this, [this] { host_.OpenLogViewer(); });

  AddLabel(QStringLiteral("Label43"), QStringLiteral("Mode:"), {20, 42, 126, 18});
  arrayModeLabel_ = AddLabel(QStringLiteral("Label17"), QString(), {kValueX, 42, 250, 18}, 13, true);
  redundancyNoteLabel_ = AddLabel(QStringLiteral("RedundancyNote"), QString(), {kValueX, 59, 255, 14}, 11);
  SetTextColour(redundancyNoteLabel_, QColor(0x80, 0x00, 0x00));  // the SMART page's warning colour
  AddLabel(QStringLiteral("Label44"), QStringLiteral("System Capacity:"), {20, 74, 126, 18});
  systemCapacityLabel_ = AddLabel(QStringLiteral("Label27"), QString(), {kValueX, 74, 250, 18}, 13, true);

  for (const QRect& card : {kHdd1Card, kHdd2Card}) {
    const bool first = card == kHdd1Card;
    const int x = card.x() + 12;
    AddLabel(first ? QStringLiteral("Label45") : QStringLiteral("Label46"),
             first ? QStringLiteral("HDD1") : QStringLiteral("HDD2"), {x, card.y() + 8, 80, 20}, 15, true);
    AddLabel(first ? QStringLiteral("Label49") : QStringLiteral("Label50"), QStringLiteral("Capacity"),
             {x, card.y() + 32, 120, 16}, 11);
    QLabel* capacity = AddLabel(first ? QStringLiteral("Label25") : QStringLiteral("Label26"), QString(),
                                {x, card.y() + 48, 124, 34}, 14, true);
    capacity->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QLabel* model = AddLabel(first ? QStringLiteral("Label51") : QStringLiteral("Label52"), QString(),
                             {x, card.y() + 82, 126, 34}, 12);
    model->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    (first ? hdd1CapacityLabel_ : hdd2CapacityLabel_) = capacity;
    (first ? hdd1ModelLabel_ : hdd2ModelLabel_) = model;
  }
  arrayStateLabel_ =
      AddLabel(QStringLiteral("Label18"), QString(),
               {kHdd1Card.right() + 2, kHdd1Card.y() + 14, kHdd2Card.x() - kHdd1Card.right() - 4, 92}, 14, true);
  arrayStateLabel_->setAlignment(Qt::AlignCenter);
  SetTextColour(arrayStateLabel_, kTeal.darker(115));

  AddLabel(QStringLiteral("Label47"), QStringLiteral("Firmware Version:"), {20, 242, 126, 18});
  firmwareLabel_ = AddLabel(QStringLiteral("Label48"), QString(), {kValueX, 242, 250, 18}, 13, true);

  sensorPanel_ = new QFrame(this);
  sensorPanel_->setObjectName(QStringLiteral("Panel11"));
  sensorPanel_->setGeometry(14, 270, 389, 34);
  auto* fanGlyph = new QLabel(sensorPanel_);
  fanGlyph->setPixmap(GlyphPicture(Glyph::Fan, 20, kTeal));
  fanGlyph->setGeometry(6, 7, 20, 20);
  fanLabel_ = new QLabel(sensorPanel_);
  fanLabel_->setObjectName(QStringLiteral("Label5"));
  fanLabel_->setFont(WindowFont(14, true));
  fanLabel_->setGeometry(32, 7, 52, 20);
  fanLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* rpm = new QLabel(QStringLiteral("RPM"), sensorPanel_);
  rpm->setObjectName(QStringLiteral("Label15"));
  rpm->setGeometry(88, 7, 40, 20);
  auto* thermometer = new QLabel(sensorPanel_);
  thermometer->setPixmap(GlyphPicture(Glyph::Thermometer, 20, kTeal));
  thermometer->setGeometry(150, 7, 20, 20);
  temperatureLabel_ = new QLabel(sensorPanel_);
  temperatureLabel_->setObjectName(QStringLiteral("Label7"));
  temperatureLabel_->setFont(WindowFont(14, true));
  temperatureLabel_->setGeometry(174, 7, 30, 20);
  temperatureLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* degrees = new QLabel(QStringLiteral("\u00B0C"), sensorPanel_);
  degrees->setGeometry(208, 7, 30, 20);
  sensorPanel_->hide();

  // In the sensor panel's place: readings that are not current are not shown.
  noticeLabel_ = AddLabel(QStringLiteral("statusNotice"), QString(), {20, 270, 380, 34}, 12, true);
  noticeLabel_->setWordWrap(true);
  SetTextColour(noticeLabel_, QColor(0xC0, 0x39, 0x2B));
  noticeLabel_->hide();
}

void StatusPageWidget::EngineChanged(UiUpdate what) {
  switch (what) {
    case UiUpdate::StatusPage: ShowLabels(); break;
    case UiUpdate::DeviceControls:
    case UiUpdate::DeviceNames: ShowDeviceButtons(); break;
    default: break;
  }
}

void StatusPageWidget::ShowLabels() {
  const Engine& engine = *host_.engine();
  const StatusPageView& view = engine.statusPage();
  // A flash without a valid image still answers with a version; the label says what matters.
  firmwareLabel_->setText(view.firmwareValid ? Q(view.firmware) : QStringLiteral("No valid firmware in flash!"));
  SetTextColour(firmwareLabel_, view.firmwareValid ? palette().color(QPalette::WindowText) : QColor(Qt::red));
  ShowLabel(fanLabel_, view.fan);
  ShowLabel(temperatureLabel_, view.temperature);
  // A stopped fan and a temperature at the alarm limit stand out even before the alarm goes.
  if (view.fan.text == "0") SetTextColour(fanLabel_, kError);
  Program* program = host_.program();
  const unsigned long temperature = std::strtoul(view.temperature.text.c_str(), nullptr, 10);
  if (program && !view.temperature.text.empty() && temperature >= program->mail().TempAlarm())
    SetTextColour(temperatureLabel_, kError);
  sensorPanel_->setVisible(view.sensorPanelShown);
  arrayModeLabel_->setText(Q(view.mode));
  redundancyNoteLabel_->setText(Q(view.redundancyNote));
  systemCapacityLabel_->setText(Q(view.systemCapacity));
  ShowLabel(hdd1CapacityLabel_, view.hdd1Capacity);
  ShowModel(hdd1ModelLabel_, view.hdd1Model);
  ShowLabel(hdd2CapacityLabel_, view.hdd2Capacity);
  ShowModel(hdd2ModelLabel_, view.hdd2Model);
  arrayStateLabel_->setText(Q(view.arrayState));
  SetTextColour(arrayStateLabel_, ArrayStateColour(view.arrayState));
  noticeLabel_->setText(Q(view.notice));
  noticeLabel_->setVisible(!view.notice.empty());
  if (view.logButtonShown) logButton_->show();
  ShowDeviceButtons();
}

void StatusPageWidget::ShowLogButton() { logButton_->show(); }

void StatusPageWidget::ShowDeviceButtons() {
  const Engine& engine = *host_.engine();
  for (unsigned i = 0; i < deviceButtons_.size(); ++i) {
    deviceButtons_[i]->setVisible(engine.deviceShown(i) && engine.deviceChecked(i));
    deviceButtons_[i]->setToolTip(Q(engine.DeviceNameText(i)));
    deviceButtons_[i]->setPixmap((engine.selectedDevice() == i ? deviceYellow_[i] : deviceWhite_[i])->pixmap());
  }
  const bool othersShown = engine.deviceCount() > kEnclosureButtons;
  otherDevicesButton_->setVisible(othersShown);
  if (!othersShown) return;
  const unsigned selected = engine.selectedDevice();
  const bool otherSelected = selected >= kEnclosureButtons;
  otherDevicesButton_->setPixmap(
      DeviceButtonPicture(otherSelected ? QStringLiteral("Device%1").arg(selected + 1) : kMoreEnclosuresCaption,
                          otherSelected ? ButtonLook::Yellow : ButtonLook::White));
  otherDevicesButton_->setToolTip(MoreEnclosuresEntries(engine).join(QLatin1Char('\n')));
}

void StatusPageWidget::ShowOtherDevicesMenu() {
  if (const Engine* engine = host_.engine())
    ShowMoreEnclosuresMenu(otherDevicesButton_, *engine, engine->selectedDevice(),
                           [this](unsigned position) { SelectDevice(position); });
}

void StatusPageWidget::SelectDevice(unsigned position) {
  if (Engine* engine = host_.engine()) engine->SelectDevice(position);
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
