#include "shell/SectionPane.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QTableWidget>
#include <algorithm>
#include <bit>
#include <cstring>

#include "config/SettingsStore.h"
#include "image/ProgramImage.h"
#include "widgets/HexEditBase.h"
#include "widgets/SplitterBar.h"

namespace velmora {

QByteArray ImageBytes(const std::vector<uint32_t>& words, size_t first, size_t count) {
  if (first >= words.size()) return {};
  count = std::min(count, words.size() - first);
  QByteArray bytes(static_cast<qsizetype>(count * 4), Qt::Uninitialized);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(bytes.data(), words.data() + first, count * 4);
  } else {
    for (size_t k = 0; k < count; ++k) {
      const uint32_t w = words[first + k];
      for (int b = 0; b < 4; ++b)
        bytes[static_cast<qsizetype>(4 * k + b)] = static_cast<char>(w >> (8 * b));
    }
  }
  return bytes;
}

CSectionPane::CSectionPane(const ProgramData& program, SettingsStore* store, QWidget* parent)
    : QWidget(parent), program_(program), store_(store) {
  setObjectName(QStringLiteral("SectionPane"));
  list_ = new QTableWidget(0, kColumnCount, this);
  list_->setObjectName(QStringLiteral("SectionList"));
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(true);
  list_->setWordWrap(false);
  list_->setSortingEnabled(false);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  list_->horizontalHeader()->setSectionsClickable(false);
  list_->horizontalHeader()->setHighlightSections(false);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < kColumnCount; ++c) {
    list_->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kHeaders[c])));
    int width = kDefaultWidths[c];
    if (store_) width = store_->ReadInt(kSectionViewInfo, kWidthKeys[c], width);
    list_->setColumnWidth(c, std::max(0, width));
  }
  // A double-click that hits a row shows its section.
  list_->viewport()->installEventFilter(this);

  hex_ = new CHexEditBase(this);
  hex_->setObjectName(QStringLiteral("SectionHexView"));
  hex_->SetAddressDigits(6, false);
  hex_->SetShowAddress(true, false);
  hex_->SetShowCharacters(true, false);
  hex_->SetBytesPerRow(8, true, false);
  hex_->SetReadOnly(true, false);
  ShowWholeImage();

  splitter_ = new CSplitterBar(this, false, QRect(), kSplitterId);
  splitter_->hide();
}

CSectionPane::~CSectionPane() {
  SaveColumnWidths();
}

void CSectionPane::SaveColumnWidths() {
  if (!store_) return;
  for (int c = 0; c < kColumnCount; ++c)
    store_->WriteInt(kSectionViewInfo, kWidthKeys[c], static_cast<uint32_t>(list_->columnWidth(c)));
}

void CSectionPane::ShowWholeImage() {
  hex_->SetData(ImageBytes(program_.image.words, 0, program_.image.words.size()), true, 0);
}

void CSectionPane::Fill() {
  list_->setRowCount(0);
  const std::vector<CSectionInfo>& sections = program_.sections;
  list_->setRowCount(static_cast<int>(sections.size()));
  for (size_t k = 0; k < sections.size(); ++k) {
    const CSectionInfo& s = sections[k];
    const int row = static_cast<int>(k);
    list_->setItem(row, 0, new QTableWidgetItem(QString::fromLatin1(s.name.c_str())));
    list_->setItem(row, 1, new QTableWidgetItem(QString::asprintf("0x%06X", s.startAddress)));
    list_->setItem(row, 2, new QTableWidgetItem(QString::asprintf("0x%06X Words", s.size)));
  }
  if (!sections.empty()) {
    list_->selectRow(0);
    ShowSection(0);
  }
}

void CSectionPane::Clear() {
  if (list_->rowCount() == 0) return;
  list_->setRowCount(0);
  ShowWholeImage();
}

void CSectionPane::ShowSection(int row) {
  if (row < 0 || row >= list_->rowCount()) return;
  if (static_cast<size_t>(row) >= program_.sections.size()) return;
  const CSectionInfo& s = program_.sections[static_cast<size_t>(row)];
  hex_->SetData(ImageBytes(program_.image.words, s.dataIndex, s.size), true, s.startAddress);
}

void CSectionPane::ShowImageData(uint32_t byteCount, uint32_t firstAddress) {
  if (list_->rowCount() > 0) list_->setRowCount(0);
  hex_->SetData(ImageBytes(program_.image.words, 0, byteCount / 4), true, firstAddress);
}

int CSectionPane::RowCount() const {
  return list_->rowCount();
}

QString CSectionPane::Text(int row, int column) const {
  const QTableWidgetItem* item = list_->item(row, column);
  return item ? item->text() : QString();
}

int CSectionPane::SelectedRow() const {
  const QList<QTableWidgetItem*> items = list_->selectedItems();
  return items.isEmpty() ? -1 : items.first()->row();
}

bool CSectionPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QModelIndex index = list_->indexAt(mouse->position().toPoint());
    if (mouse->button() == Qt::LeftButton && list_->rowCount() > 0 && index.isValid())
      ShowSection(index.row());
  }
  return QWidget::eventFilter(watched, event);
}

void CSectionPane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void CSectionPane::LayOut() {
  const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
  if (area.width() <= 0 || area.height() <= 0) return;
  if (!laidOut_) {
    // The first time the list lines up with the symbol pane above it (half
    // the pane when there is no symbol pane to follow).
    const int left = leftWidth_ ? leftWidth_() : area.width() / 2 + 20;
    const int listWidth = std::clamp(left - 20, 0, area.width());
    list_->setGeometry(area.left(), area.top(), listWidth, area.height());
    hex_->setGeometry(area.left() + listWidth, area.top(), area.width() - listWidth, area.height());
    splitter_->show();
    splitter_->BindWithControl(list_, hex_);
    laidOut_ = true;
  } else {
    QRect bar = splitter_->geometry();
    bar.setTop(area.top());
    bar.setHeight(area.height());
    // The bar stays inside the area when the pane shrinks.
    const int maxLeft = std::max(area.left(), area.right() + 1 - bar.width());
    bar.moveLeft(std::clamp(bar.left(), area.left(), maxLeft));
    splitter_->setGeometry(bar);
    const int listRight = bar.left() + CSplitterBar::kBorderThickness;
    list_->setGeometry(area.left(), area.top(), std::max(0, listRight - area.left()),
                       area.height());
    const int hexLeft = bar.right() + 1 - CSplitterBar::kBorderThickness;
    hex_->setGeometry(hexLeft, area.top(), std::max(0, area.right() + 1 - hexLeft), area.height());
  }
  splitter_->SetRange(area.left(), std::max(area.left(), area.right() + 1 - splitter_->width()));
  splitter_->raise();
}

}  // namespace velmora
