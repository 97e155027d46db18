#include "widgets/HexEditBase.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr int kColumnGap = 5;     // pixels after the address and data columns
constexpr int kWheelDelta = 120;  // one notch
constexpr int kGroupChars = 9;    // "XXXXXXXX "

int64_t Clamp64(int64_t v, int64_t lo, int64_t hi) {
  return std::max(lo, std::min(v, hi));
}

char HexDigit(unsigned v) {
  return "0123456789ABCDEF"[v & 0xF];
}

}  // namespace

HexLayout ComputeHexLayout(const HexLayoutInput& in) {
  HexLayout out;
  const int cw = std::max(1, in.charWidth);
  const int lh = std::max(1, in.lineHeight);
  const int height = std::max(0, in.clientHeight);

  out.fullRows = height / lh;
  out.rowsShown = out.fullRows + (height % lh ? 1 : 0);

  out.addressX = 0;
  out.addressWidth =
      in.showAddress ? static_cast<int>((in.addressDigits & 0xFF) * cw + kColumnGap) : 0;

  int64_t bpr = 0;
  if (in.multiLine && in.autoFit) {
    const int64_t available =
        int64_t{in.clientWidth} - out.addressWidth - (in.showCharacters ? kColumnGap : 0);
    const int64_t unit = int64_t{in.showCharacters ? 13 : 9} * cw;
    bpr = available < 0 ? 0 : (available / unit) * 4;
  } else if (!in.multiLine) {
    // One row holds everything; keep whole groups.
    bpr = (int64_t{in.dataLength} + 3) / 4 * 4;
  } else {
    bpr = in.bytesPerRow;
  }
  if (bpr <= 0) bpr = 4;
  // A row wider than 4 GiB cannot hold data; keep the arithmetic in range.
  bpr = std::min<int64_t>(bpr, 0x7FFFFFFC);
  out.bytesPerRow = static_cast<uint32_t>(bpr);

  out.dataX = out.addressX + out.addressWidth;
  const int64_t dataWidth = ((bpr / 4) + 2 * bpr - 1) * cw + kColumnGap;
  out.dataWidth = static_cast<int>(std::min<int64_t>(dataWidth, INT32_MAX / 4));
  if (in.showCharacters) {
    out.charColumnX = out.dataX + out.dataWidth;
    out.charColumnWidth = static_cast<int>(std::min<int64_t>(bpr * cw, INT32_MAX / 4));
  }

  out.totalRows = (int64_t{in.dataLength} + bpr - 1) / bpr;
  out.lastTopRow = std::max<int64_t>(0, out.totalRows - out.fullRows);
  out.totalWidth = int64_t{out.addressWidth} + out.dataWidth + out.charColumnWidth;
  out.lastHorizontalOffset = std::max<int64_t>(0, out.totalWidth - in.clientWidth);
  out.topRow = Clamp64(in.topRow, 0, out.lastTopRow);
  out.horizontalOffset = Clamp64(in.horizontalOffset, 0, out.lastHorizontalOffset);
  return out;
}

HexScrollBarState VerticalScrollState(const HexLayout& layout) {
  HexScrollBarState s;
  if (layout.lastTopRow > 0) {
    s.visible = true;
    s.maximum = layout.lastTopRow + layout.fullRows - 1;
    s.page = layout.fullRows;
    s.position = std::min(layout.topRow, layout.lastTopRow);
  }
  return s;
}

HexScrollBarState HorizontalScrollState(const HexLayout& layout, int clientWidth) {
  HexScrollBarState s;
  if (layout.lastHorizontalOffset > 0) {
    s.visible = true;
    s.maximum = layout.lastHorizontalOffset + clientWidth - 1;
    s.page = clientWidth;
    s.position = std::min(layout.horizontalOffset, layout.lastHorizontalOffset);
  }
  return s;
}

HexCaret MoveCaret(HexCaret caret, HexKey key, uint32_t bytesPerRow, int rowsShown,
                   uint32_t dataLength) {
  if (dataLength == 0) return caret;
  int64_t offset = caret.offset;
  bool low = caret.lowNibble;
  const int64_t row = bytesPerRow;
  switch (key) {
    case HexKey::Up:
      offset -= row;
      break;
    case HexKey::Down:
      offset += row;
      break;
    case HexKey::PageUp:
      offset -= int64_t{rowsShown - 1} * row;
      break;
    case HexKey::PageDown:
      offset += int64_t{rowsShown - 1} * row;
      break;
    case HexKey::Home:
      offset = 0;
      low = false;
      break;
    case HexKey::End:
      offset = int64_t{dataLength} - 1;
      low = true;
      break;
    case HexKey::Left:
      if (low) {
        low = false;
      } else {
        offset -= 1;
        low = true;
      }
      break;
    case HexKey::Right:
      if (low) {
        offset += 1;
        low = false;
      } else {
        low = true;
      }
      break;
  }
  return {static_cast<uint32_t>(Clamp64(offset, 0, int64_t{dataLength} - 1)), low};
}

HexViewOrigin ScrollIntoView(const HexLayout& layout, uint32_t position, int charWidth,
                             int clientWidth) {
  HexViewOrigin origin{layout.topRow, layout.horizontalOffset};
  const int64_t bpr = std::max<uint32_t>(1, layout.bytesPerRow);
  const int64_t row = position / bpr;
  if (int64_t{position} < origin.topRow * bpr) {
    origin.topRow = row;
  } else if (int64_t{position} >= (origin.topRow + layout.fullRows) * bpr) {
    origin.topRow = row - layout.fullRows + 1;
  }
  const int64_t column = position % bpr;
  const int64_t start = layout.dataX - origin.horizontalOffset + column * 3 * charWidth;
  const int64_t end = start + 2 * int64_t{charWidth};
  if (start < 0) {
    origin.horizontalOffset += start;
  } else if (end >= clientWidth) {
    origin.horizontalOffset += end - clientWidth;
  }
  return origin;
}

uint32_t HexRowAddress(uint32_t baseAddress, int64_t row, uint32_t bytesPerRow) {
  return static_cast<uint32_t>(baseAddress + (row * bytesPerRow) / 4);
}

QString FormatHexAddress(uint32_t address, uint32_t digits) {
  return QString::number(address, 16)
      .toUpper()
      .rightJustified(static_cast<int>(digits & 0xFF), QLatin1Char('0'));
}

QString FormatHexWords(const uint8_t* bytes, uint32_t count, uint32_t bytesPerRow) {
  count = std::min(count, bytesPerRow);
  QString text;
  text.reserve(static_cast<int>((count + 3) / 4 * kGroupChars));
  for (uint32_t group = 0; group * 4 < count; ++group) {
    if (group) text += QLatin1Char(' ');
    for (int b = 3; b >= 0; --b) {
      const uint32_t i = group * 4 + static_cast<uint32_t>(b);
      if (i < count) {
        text += QLatin1Char(HexDigit(bytes[i] >> 4));
        text += QLatin1Char(HexDigit(bytes[i]));
      } else {
        text += QLatin1String("  ");
      }
    }
  }
  return text;
}

QString FormatHexCharacters(const uint8_t* bytes, uint32_t count) {
  QString text(static_cast<int>(count), QLatin1Char('.'));
  for (uint32_t i = 0; i < count; ++i) {
    // Printable in the C locale; anything else would depend on the user's locale.
    if (bytes[i] >= 0x20 && bytes[i] < 0x7F) text[i] = QLatin1Char(static_cast<char>(bytes[i]));
  }
  return text;
}

const QColor CHexEditBase::kWindowBackground(210, 210, 210);
const QColor CHexEditBase::kAddressBackground(255, 255, 0);
const QColor CHexEditBase::kAddressText(255, 0, 0);
const QColor CHexEditBase::kDataBackground(180, 210, 190);
const QColor CHexEditBase::kDataText(0, 0, 255);
const QColor CHexEditBase::kCharBackground(0, 20, 0);
const QColor CHexEditBase::kCharText(0, 255, 0);

CHexEditBase::CHexEditBase(QWidget* parent) : QAbstractScrollArea(parent) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (!QFontInfo(font).fixedPitch()) {
    font = QFont(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
  }
  font_ = font;
  MarkDirty(false);
}

CHexEditBase::~CHexEditBase() = default;

void CHexEditBase::MarkDirty(bool repaint) {
  layoutDirty_ = true;
  ScheduleScrollBarUpdate();
  if (repaint) viewport()->update();
}

HexLayoutInput CHexEditBase::LayoutInput() const {
  HexLayoutInput in;
  in.charWidth = charWidth_;
  in.lineHeight = lineHeight_;
  in.clientWidth = viewport()->width();
  in.clientHeight = viewport()->height();
  in.dataLength = DataLength();
  in.addressDigits = addressDigits_;
  in.showAddress = showAddress_;
  in.showCharacters = showCharacters_;
  in.bytesPerRow = bytesPerRow_;
  in.autoFit = autoFit_;
  in.multiLine = multiLine_;
  in.topRow = topRow_;
  in.horizontalOffset = horizontalOffset_;
  return in;
}

void CHexEditBase::EnsureLayout() {
  if (!layoutDirty_) return;
  // Glyph advances may be fractional while the columns are whole pixels: the
  // width of "0" is rounded up and the drawing font spaced to match it, so
  // that every character sits exactly in its cell.
  const QFontMetricsF fm(font_);
  const qreal advance = fm.horizontalAdvance(QLatin1Char('0'));
  charWidth_ = std::max(1, static_cast<int>(std::ceil(advance)));
  lineHeight_ = std::max(1, static_cast<int>(std::ceil(fm.height())));
  drawFont_ = font_;
  drawFont_.setLetterSpacing(QFont::AbsoluteSpacing, charWidth_ - advance);
  ascent_ = static_cast<int>(std::ceil(fm.ascent()));
  layout_ = ComputeHexLayout(LayoutInput());
  topRow_ = layout_.topRow;
  horizontalOffset_ = layout_.horizontalOffset;
  layoutDirty_ = false;
}

const HexLayout& CHexEditBase::Layout() {
  EnsureLayout();
  return layout_;
}

int64_t CHexEditBase::TopRow() {
  EnsureLayout();
  return topRow_;
}

int64_t CHexEditBase::HorizontalOffset() {
  EnsureLayout();
  return horizontalOffset_;
}

void CHexEditBase::SetData(const uint8_t* data, uint32_t length, bool repaint,
                           uint32_t baseAddress) {
  if (data && length)
    data_ = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
  else
    data_.clear();
  baseAddress_ = baseAddress;
  MarkDirty(repaint);
}

void CHexEditBase::SetData(const QByteArray& data, bool repaint, uint32_t baseAddress) {
  data_ = data;
  baseAddress_ = baseAddress;
  MarkDirty(repaint);
}

void CHexEditBase::SetBytesPerRow(uint32_t bytesPerRow, bool autoFit, bool repaint) {
  if (bytesPerRow == bytesPerRow_ && autoFit == autoFit_) return;
  bytesPerRow_ = bytesPerRow;
  autoFit_ = autoFit;
  MarkDirty(repaint);
}

void CHexEditBase::SetShowAddress(bool on, bool repaint) {
  if (on == showAddress_) return;
  showAddress_ = on;
  MarkDirty(repaint);
}

void CHexEditBase::SetShowCharacters(bool on, bool repaint) {
  if (on == showCharacters_) return;
  showCharacters_ = on;
  MarkDirty(repaint);
}

void CHexEditBase::SetAddressDigits(uint32_t digits, bool repaint) {
  addressDigits_ = digits & 0xFF;
  MarkDirty(repaint);
}

void CHexEditBase::SetReadOnly(bool on, bool repaint) {
  readOnly_ = on;
  MarkDirty(repaint);
}

bool CHexEditBase::SetHexFont(const QFont& font, bool repaint) {
  if (!QFontInfo(font).fixedPitch()) return false;
  font_ = font;
  MarkDirty(repaint);
  return true;
}

void CHexEditBase::SetMultiLine(bool on, bool repaint) {
  if (on == multiLine_) return;
  multiLine_ = on;
  if (!multiLine_) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  MarkDirty(repaint);
}

void CHexEditBase::ScheduleScrollBarUpdate() {
  if (scrollUpdatePosted_) return;
  scrollUpdatePosted_ = true;
  QTimer::singleShot(0, this, [this] {
    scrollUpdatePosted_ = false;
    UpdateScrollBars();
  });
}

void CHexEditBase::UpdateScrollBars() {
  if (updatingScrollBars_ || !multiLine_) return;
  updatingScrollBars_ = true;
  // Showing or hiding one bar changes the client size, which can change the
  // other bar; a few passes always settle.
  for (int pass = 0; pass < 4; ++pass) {
    EnsureLayout();
    const HexScrollBarState v = VerticalScrollState(layout_);
    const HexScrollBarState h = HorizontalScrollState(layout_, viewport()->width());
    syncingBars_ = true;
    QScrollBar* vbar = verticalScrollBar();
    vbar->setRange(0, static_cast<int>(v.visible ? v.maximum - v.page + 1 : 0));
    vbar->setPageStep(std::max(1, layout_.fullRows));
    vbar->setSingleStep(1);
    vbar->setValue(static_cast<int>(v.position));
    QScrollBar* hbar = horizontalScrollBar();
    hbar->setRange(0, static_cast<int>(h.visible ? h.maximum - h.page + 1 : 0));
    hbar->setPageStep(std::max(1, viewport()->width()));
    hbar->setSingleStep(charWidth_);
    hbar->setValue(static_cast<int>(h.position));
    syncingBars_ = false;

    const QSize before = viewport()->size();
    setVerticalScrollBarPolicy(v.visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(h.visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    if (viewport()->size() == before) break;
    layoutDirty_ = true;
  }
  updatingScrollBars_ = false;
}

void CHexEditBase::SyncBar(QScrollBar* bar, int64_t value) {
  if (bar->maximum() < value) {
    // The bars were not set up for the present data yet.
    UpdateScrollBars();
    return;
  }
  syncingBars_ = true;
  bar->setValue(static_cast<int>(value));
  syncingBars_ = false;
}

void CHexEditBase::SetTopRow(int64_t row) {
  EnsureLayout();
  if (data_.isEmpty() || !multiLine_) return;
  row = Clamp64(row, 0, layout_.lastTopRow);
  if (row == topRow_) return;
  topRow_ = layout_.topRow = row;
  SyncBar(verticalScrollBar(), row);
  viewport()->update();
}

void CHexEditBase::SetHorizontalOffset(int64_t offset) {
  EnsureLayout();
  if (data_.isEmpty()) return;
  offset = Clamp64(offset, 0, layout_.lastHorizontalOffset);
  if (offset == horizontalOffset_) return;
  horizontalOffset_ = layout_.horizontalOffset = offset;
  SyncBar(horizontalScrollBar(), offset);
  viewport()->update();
}

void CHexEditBase::scrollContentsBy(int, int) {
  if (syncingBars_) return;
  // The user moved a bar (arrow, page, thumb): its value is the new origin.
  SetTopRow(verticalScrollBar()->value());
  SetHorizontalOffset(horizontalScrollBar()->value());
}

void CHexEditBase::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  layoutDirty_ = true;
  UpdateScrollBars();
}

bool CHexEditBase::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Resize) {
    layoutDirty_ = true;
    UpdateScrollBars();
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void CHexEditBase::wheelEvent(QWheelEvent* event) {
  if (data_.isEmpty() || !multiLine_) {
    event->ignore();
    return;
  }
  const int delta = event->angleDelta().y();
  // Fine-grained wheels (touchpads) send small deltas; keep the remainder so
  // that they scroll too, a row per full notch as with a normal wheel.
  if ((wheelRemainder_ > 0 && delta < 0) || (wheelRemainder_ < 0 && delta > 0)) wheelRemainder_ = 0;
  wheelRemainder_ += delta;
  const int rows = wheelRemainder_ / kWheelDelta;
  wheelRemainder_ -= rows * kWheelDelta;
  if (rows) SetTopRow(TopRow() - rows);
  event->accept();
}

void CHexEditBase::keyPressEvent(QKeyEvent* event) {
  HexKey key;
  switch (event->key()) {
    case Qt::Key_Up:
      key = HexKey::Up;
      break;
    case Qt::Key_Down:
      key = HexKey::Down;
      break;
    case Qt::Key_PageUp:
      key = HexKey::PageUp;
      break;
    case Qt::Key_PageDown:
      key = HexKey::PageDown;
      break;
    case Qt::Key_Home:
      key = HexKey::Home;
      break;
    case Qt::Key_End:
      key = HexKey::End;
      break;
    case Qt::Key_Left:
      key = HexKey::Left;
      break;
    case Qt::Key_Right:
      key = HexKey::Right;
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
  if (data_.isEmpty()) return;
  EnsureLayout();
  caret_ = MoveCaret(caret_, key, layout_.bytesPerRow, layout_.rowsShown, DataLength());
  const HexViewOrigin origin =
      ScrollIntoView(layout_, caret_.offset, charWidth_, viewport()->width());
  SetTopRow(origin.topRow);
  SetHorizontalOffset(origin.horizontalOffset);
  viewport()->update();
}

void CHexEditBase::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void CHexEditBase::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void CHexEditBase::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  // A font given the ordinary Qt way counts when it is fixed-pitch.
  if (event->type() == QEvent::FontChange) SetHexFont(font(), true);
}

void CHexEditBase::paintEvent(QPaintEvent*) {
  const bool wasDirty = layoutDirty_;
  EnsureLayout();
  if (wasDirty) ScheduleScrollBarUpdate();

  QPainter painter(viewport());
  painter.setFont(drawFont_);
  const QRect client = viewport()->rect();
  painter.fillRect(client, kWindowBackground);
  if (data_.isEmpty()) return;

  const HexLayout& l = layout_;
  const int64_t h = horizontalOffset_;
  const int height = client.height();
  const int ascent = ascent_;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data_.constData());
  const int64_t length = data_.size();
  const int64_t bpr = l.bytesPerRow;
  const int64_t cw = charWidth_;
  int rows = 0;
  while (rows < l.rowsShown && topRow_ + rows < l.totalRows) ++rows;

  if (showAddress_) {
    painter.fillRect(
        QRect(static_cast<int>(l.addressX - h), 0, l.addressWidth - kColumnGap, height),
        kAddressBackground);
    painter.setPen(kAddressText);
    for (int r = 0; r < rows; ++r) {
      const int64_t row = topRow_ + r;
      const uint32_t address = HexRowAddress(baseAddress_, row, l.bytesPerRow);
      painter.drawText(static_cast<int>(l.addressX - h), r * lineHeight_ + ascent,
                       FormatHexAddress(address, addressDigits_));
    }
  }

  painter.fillRect(QRect(static_cast<int>(l.dataX - h), 0, l.dataWidth - kColumnGap, height),
                   kDataBackground);
  painter.setPen(kDataText);
  // Only the groups that reach into the window are formatted, so a very wide
  // row costs no more than a narrow one.
  const int64_t groupWidth = kGroupChars * cw;
  const int64_t firstGroup = std::max<int64_t>(0, (h - l.dataX) / groupWidth);
  const int64_t lastGroup = (h + client.width() - l.dataX) / groupWidth + 1;
  for (int r = 0; r < rows; ++r) {
    const int64_t start = (topRow_ + r) * bpr;
    const int64_t inRow = std::min(bpr, length - start);
    const int64_t from = firstGroup * 4;
    if (from >= inRow) continue;
    const int64_t to = std::min(inRow, (lastGroup + 1) * 4);
    painter.drawText(static_cast<int>(l.dataX - h + firstGroup * groupWidth),
                     r * lineHeight_ + ascent,
                     FormatHexWords(bytes + start + from, static_cast<uint32_t>(to - from),
                                    static_cast<uint32_t>(to - from)));
  }

  if (showCharacters_) {
    painter.fillRect(QRect(static_cast<int>(l.charColumnX - h), 0, l.charColumnWidth, height),
                     kCharBackground);
    painter.setPen(kCharText);
    const int64_t firstByte = std::max<int64_t>(0, (h - l.charColumnX) / cw);
    const int64_t lastByte = (h + client.width() - l.charColumnX) / cw + 1;
    for (int r = 0; r < rows; ++r) {
      const int64_t start = (topRow_ + r) * bpr;
      const int64_t inRow = std::min(bpr, length - start);
      if (firstByte >= inRow) continue;
      const int64_t to = std::min(inRow, lastByte + 1);
      painter.drawText(
          static_cast<int>(l.charColumnX - h + firstByte * cw), r * lineHeight_ + ascent,
          FormatHexCharacters(bytes + start + firstByte, static_cast<uint32_t>(to - firstByte)));
    }
  }
}

}  // namespace velmora
