// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/smart_page_widget.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "app/program.h"
#include "smart/dump_file.h"
#include "window/artwork.h"
#include "window/image_button.h"
#include "window/qt_text.h"

namespace rur::ui {
namespace {

constexpr std::array<int, kSmartColumns> kColumnWidths{145, 36, 36, 54, 75, 40};
constexpr int kRowHeight = 16;
constexpr int kSmallFont = 11;  // 8 points on a 96-dpi screen
constexpr int kGridFont = 11;
constexpr int kSmallestValueFont = 9;
constexpr int kHeaderRowHeight = 23;  // the header row ends where the attribute grid begins
const QColor kFixedRow{0xE9, 0xEE, 0xF3};

// The attribute rows: each row in its grade's colour, the name at the cell's top-left corner
// without margin, every other column centred at the top. The current cell gets a thin frame.
class AttributeRowPainter : public QStyledItemDelegate {
 public:
  AttributeRowPainter(const SmartPageWidget& page, QObject* parent) : QStyledItemDelegate(parent), page_(page) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    const QRect cell = option.rect;
    painter->fillRect(cell, QColor::fromRgb(static_cast<QRgb>(page_.rowColour(index.row()))));
    painter->setPen(Qt::black);
    painter->setFont(option.font);
    const QString text = index.data().toString();
    if (index.column() == static_cast<int>(kColumnName)) {
      painter->drawText(cell, Qt::AlignLeft | Qt::AlignTop, text);
    } else {
      // A value a little wider than its column (the 12 raw digits) is drawn smaller, not cut.
      QFont font = option.font;
      while (font.pixelSize() > kSmallestValueFont && QFontMetrics(font).horizontalAdvance(text) > cell.width() - 2)
        font.setPixelSize(font.pixelSize() - 1);
      painter->setFont(font);
      painter->drawText(cell, Qt::AlignHCenter | Qt::AlignTop, text);
    }
    if (option.state & QStyle::State_HasFocus) {
      painter->setPen(QPen(colours::kTeal, 1));
      painter->drawRect(cell.adjusted(0, 0, -1, -1));
    }
    painter->restore();
  }

 private:
  const SmartPageWidget& page_;
};

// The header grid: its fixed row filled with the header colour, texts centred on one line.
class HeaderRowPainter : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    painter->fillRect(option.rect, index.row() == 0 ? kFixedRow : QColor(Qt::white));
    painter->setPen(colours::kInk);
    QFont font = option.font;
    font.setBold(index.row() == 0);
    painter->setFont(font);
    painter->drawText(option.rect, Qt::AlignCenter | Qt::TextSingleLine, index.data().toString());
    painter->restore();
  }
};

void SetUpGrid(QTableWidget* grid, const QString& name, int rows, QRect geometry) {
  grid->setObjectName(name);
  grid->setGeometry(geometry);
  grid->setColumnCount(static_cast<int>(kSmartColumns));
  grid->setRowCount(rows);
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setMinimumSectionSize(kRowHeight);
  grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  for (std::size_t c = 0; c < kSmartColumns; ++c) grid->setColumnWidth(static_cast<int>(c), kColumnWidths[c]);
  grid->setShowGrid(true);
  grid->setGridStyle(Qt::SolidLine);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The arrows move within the table; Tab leaves it.
  grid->setTabKeyNavigation(false);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setSelectionBehavior(QAbstractItemView::SelectItems);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setFont(WindowFont(kGridFont));
  grid->setWordWrap(false);
  grid->setStyleSheet(QStringLiteral("QTableWidget { gridline-color: #C9D2DC; border: 1px solid #C9D2DC; }"));
}

}  // namespace

SmartPageWidget::SmartPageWidget(PageHost& host) : NotebookPage(QStringLiteral("SmartPage"), host) {
  rowColours_.fill(kRgbWhite);
  const std::array<QString, 2> names{QStringLiteral("Image5_HDD1"), QStringLiteral("Image5_HDD2")};
  const std::array<QString, 2> captions{QStringLiteral("HDD1"), QStringLiteral("HDD2")};
  const std::array<QPoint, 2> places{QPoint(8, 0), QPoint(64, 0)};
  for (std::size_t i = 0; i < 2; ++i) {
    bayButtons_[i] = new ImageButton(names[i], this, captions[i],
                                     QStringLiteral("Shows the SMART attributes of the disk in this bay"));
    bayButtons_[i]->setGeometry(QRect(places[i], QSize(kBayButtonWidth, kBayButtonHeight)));
    bayYellow_[i] =
        PictureSource(names[i] + QStringLiteral("_Yellow"), BayButtonPicture(captions[i], ButtonLook::Yellow), this);
    bayWhite_[i] =
        PictureSource(names[i] + QStringLiteral("_White"), BayButtonPicture(captions[i], ButtonLook::White), this);
    bayYellow_[i]->move(places[i]);
    bayWhite_[i]->move(places[i]);
  }
  ShowBayButtons(0);
  connect(bayButtons_[0], &ImageButton::clicked, this, [this] { SelectBay(0); });
  connect(bayButtons_[1], &ImageButton::clicked, this, [this] { SelectBay(1); });

  auto makeLabel = [this](const QString& name, QPoint at, int width) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);  // the disk model comes from the disk
    label->setFont(WindowFont(kSmallFont));
    label->setGeometry(QRect(at, QSize(width, 15)));
    return label;
  };
  headingLabel_ = makeLabel(QStringLiteral("Label22"), {128, 8}, 286);
  headingLabel_->setFont(WindowFont(kSmallFont, true));
  verdictLabel_ = makeLabel(QStringLiteral("Label23"), {128, 24}, 150);
  verdictLabel_->setFont(WindowFont(kSmallFont, true));
  countdownLabel_ = makeLabel(QStringLiteral("Label21"), {288, 24}, 126);
  SetTextColour(countdownLabel_, QColor(0x00, 0x00, 0x80));
  countdownLabel_->installEventFilter(this);

  headerGrid_ = new QTableWidget(this);
  SetUpGrid(headerGrid_, QStringLiteral("StringGrid4"), 2, {1, 40, 414, 65});
  headerGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  headerGrid_->setFocusPolicy(Qt::NoFocus);
  headerGrid_->setSelectionMode(QAbstractItemView::NoSelection);
  headerGrid_->setItemDelegate(new HeaderRowPainter(headerGrid_));
  headerGrid_->verticalHeader()->setDefaultSectionSize(kHeaderRowHeight);
  const std::array<const char*, kSmartColumns> headers{"ID", "Value", "Worst", "Threshold", "RAW", "Status"};
  for (std::size_t c = 0; c < kSmartColumns; ++c)
    headerGrid_->setItem(0, static_cast<int>(c), new QTableWidgetItem(QString::fromLatin1(headers[c])));

  attributeGrid_ = new QTableWidget(this);
  SetUpGrid(attributeGrid_, QStringLiteral("StringGrid3"), 0, {1, 64, 414, 245});
  attributeGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  attributeGrid_->setItemDelegate(new AttributeRowPainter(*this, attributeGrid_));
  attributeGrid_->hide();
  connect(attributeGrid_, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int, int) { SelectAttributeCell(column, row); });
}

Rgb SmartPageWidget::rowColour(int row) const {
  return row >= 0 && row < static_cast<int>(rowColours_.size()) ? rowColours_[static_cast<std::size_t>(row)]
                                                                : kRgbWhite;
}

void SmartPageWidget::EngineChanged(UiUpdate what) {
  if (what == UiUpdate::SmartPage) ShowModel();
}

void SmartPageWidget::ShowBayButtons(unsigned bay) {
  for (std::size_t i = 0; i < 2; ++i) bayButtons_[i]->setPixmap((i == bay ? bayYellow_[i] : bayWhite_[i])->pixmap());
}

void SmartPageWidget::ShowModel() {
  const SmartPageModel& model = host_.engine()->smart().page();
  ShowBayButtons(model.bay);
  // A long model would run past the page: the heading ends in "..." and the tooltip has it whole.
  const QString heading = Q(model.heading);
  const QString shown = headingLabel_->fontMetrics().elidedText(heading, Qt::ElideRight, headingLabel_->width());
  headingLabel_->setText(shown);
  headingLabel_->setToolTip(shown == heading ? QString() : heading);
  verdictLabel_->setText(Q(model.verdict));
  SetTextColour(verdictLabel_, QColor::fromRgb(static_cast<QRgb>(model.verdictColour)));
  rowColours_ = model.rowColours;

  {
    // Refilling moves the current cell; that is not the user selecting one.
    const QSignalBlocker quiet(attributeGrid_);
    const int rows = static_cast<int>(std::min(model.rowCount, model.rows.size()));
    attributeGrid_->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
      const SmartRow& row = model.rows[static_cast<std::size_t>(r)];
      for (std::size_t c = 0; c < kSmartColumns; ++c) {
        QTableWidgetItem* item = attributeGrid_->item(r, static_cast<int>(c));
        if (!item) {
          item = new QTableWidgetItem;
          attributeGrid_->setItem(r, static_cast<int>(c), item);
        }
        item->setText(Q(row.cells[c]));
      }
    }
  }
  attributeGrid_->setVisible(model.gridVisible);
  attributeGrid_->viewport()->update();
  if (model.gridVisible && model.focusGrid) {
    attributeGrid_->setCurrentCell(0, 0);
    attributeGrid_->setFocus();
  }
}

void SmartPageWidget::ShowCountdown(const QString& text) { countdownLabel_->setText(text); }

void SmartPageWidget::SelectBay(unsigned bay) {
  if (Engine* engine = host_.engine()) engine->SelectSmartBay(bay);
}

void SmartPageWidget::SelectAttributeCell(int column, int row) {
  Engine* engine = host_.engine();
  if (!engine || column < 0 || row < 0) return;
  const unsigned slot = engine->selectedDevice();
  const SmartPageModel& page = engine->smart().page();
  const unsigned bay = page.bay;
  static const SmartPage kEmptyPage{};
  const SmartPage& data =
      slot < kSmartSlots && bay < kSmartBays ? engine->smart().state().store[slot][bay].data : kEmptyPage;
  const SmartCellSelection selection =
      SelectSmartCell(page, data, static_cast<std::size_t>(column), static_cast<std::size_t>(row));
  if (selection.panelText) host_.SetPanel(4, Q(*selection.panelText));
  attributeGrid_->setToolTip(Q(selection.hint));
}

void SmartPageWidget::DumpSmartData() {
  Program* program = host_.program();
  if (!program) return;
  DumpSmartPages(program->engine().smart().state(), program->dataDirectory(), host_.sink());
}

bool SmartPageWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == countdownLabel_ && event->type() == QEvent::MouseButtonDblClick) {
    DumpSmartData();
    return true;
  }
  return NotebookPage::eventFilter(watched, event);
}

}  // namespace rur::ui
