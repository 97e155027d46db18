// Read-only word-oriented hex viewer: address column, 32-bit little-endian
// words and an optional character column, with scrolling and keyboard
// navigation. The layout arithmetic lives in pure functions so that it can be
// checked without a window.
#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

class QScrollBar;

namespace velmora {

struct HexLayoutInput {
  int charWidth = 8;    // width of "0" in the font
  int lineHeight = 16;  // height of "0" in the font
  int clientWidth = 0;
  int clientHeight = 0;
  uint32_t dataLength = 0;
  uint32_t addressDigits = 8;
  bool showAddress = false;
  bool showCharacters = false;
  uint32_t bytesPerRow = 16;  // fixed width when auto-fit is off
  bool autoFit = false;
  bool multiLine = true;
  int64_t topRow = 0;  // clamped into the result
  int64_t horizontalOffset = 0;
};

struct HexLayout {
  int fullRows = 0;
  int rowsShown = 0;
  int addressX = 0, addressWidth = 0;
  int dataX = 0, dataWidth = 0;
  int charColumnX = 0, charColumnWidth = 0;
  uint32_t bytesPerRow = 4;  // effective
  int64_t totalRows = 0;     // ceil(data length / bytes per row)
  int64_t lastTopRow = 0;
  int64_t totalWidth = 0;  // address + data + character columns
  int64_t lastHorizontalOffset = 0;
  int64_t topRow = 0;            // clamped to [0, last top row]
  int64_t horizontalOffset = 0;  // clamped to [0, last horizontal offset]
};

HexLayout ComputeHexLayout(const HexLayoutInput& in);

// Scroll-bar settings in the inclusive-range form (range includes the page):
// a bar whose range is 0..max with page p lets the position run 0..max-p+1.
struct HexScrollBarState {
  bool visible = false;
  int64_t minimum = 0;
  int64_t maximum = 0;
  int64_t page = 0;
  int64_t position = 0;
};
HexScrollBarState VerticalScrollState(const HexLayout& layout);
HexScrollBarState HorizontalScrollState(const HexLayout& layout, int clientWidth);

// The (undrawn) current position that the navigation keys move.
struct HexCaret {
  uint32_t offset = 0;
  bool lowNibble = false;
};
enum class HexKey { Up, Down, PageUp, PageDown, Home, End, Left, Right };
HexCaret MoveCaret(HexCaret caret, HexKey key, uint32_t bytesPerRow, int rowsShown,
                   uint32_t dataLength);

// Top row and horizontal offset that bring byte `position` into view (not yet
// clamped; the caller clamps them as for any scroll).
struct HexViewOrigin {
  int64_t topRow = 0;
  int64_t horizontalOffset = 0;
};
HexViewOrigin ScrollIntoView(const HexLayout& layout, uint32_t position, int charWidth,
                             int clientWidth);

// Word address shown for a row: base + (row x bytes per row) / 4.
uint32_t HexRowAddress(uint32_t baseAddress, int64_t row, uint32_t bytesPerRow);

// Texts of one row. Bytes past the end of the data are left blank, so a short
// last group keeps its column.
QString FormatHexAddress(uint32_t address, uint32_t digits);
QString FormatHexWords(const uint8_t* bytes, uint32_t count, uint32_t bytesPerRow);
QString FormatHexCharacters(const uint8_t* bytes, uint32_t count);

class CHexEditBase : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static const QColor kWindowBackground;
  static const QColor kAddressBackground, kAddressText;
  static const QColor kDataBackground, kDataText;
  static const QColor kCharBackground, kCharText;

  explicit CHexEditBase(QWidget* parent = nullptr);
  ~CHexEditBase() override;

  // Copies `length` bytes; no bytes empties the control.
  void SetData(const uint8_t* data, uint32_t length, bool repaint, uint32_t baseAddress);
  // Shares the (implicitly shared) array: a 16 MiB image costs no copy until
  // someone writes to either side.
  void SetData(const QByteArray& data, bool repaint, uint32_t baseAddress);
  void SetBytesPerRow(uint32_t bytesPerRow, bool autoFit, bool repaint);
  void SetShowAddress(bool on, bool repaint);
  void SetShowCharacters(bool on, bool repaint);
  void SetAddressDigits(uint32_t digits, bool repaint);  // keeps the low 8 bits
  void SetReadOnly(bool on, bool repaint);
  // Only fixed-pitch fonts are taken; returns false (and changes nothing) for others.
  bool SetHexFont(const QFont& font, bool repaint);
  // Multi-line is the normal case; a single-line control shows all data in one row.
  void SetMultiLine(bool on, bool repaint);

  const QByteArray& Data() const { return data_; }
  uint32_t DataLength() const { return static_cast<uint32_t>(data_.size()); }
  uint32_t BaseAddress() const { return baseAddress_; }
  uint32_t AddressDigits() const { return addressDigits_; }
  bool ShowAddress() const { return showAddress_; }
  bool ShowCharacters() const { return showCharacters_; }
  uint32_t BytesPerRowSetting() const { return bytesPerRow_; }
  bool AutoFit() const { return autoFit_; }
  bool IsReadOnly() const { return readOnly_; }
  bool IsMultiLine() const { return multiLine_; }
  QFont HexFont() const { return font_; }
  HexCaret Caret() const { return caret_; }
  // Font metrics the layout uses (width of "0", line height).
  int CharWidth() {
    EnsureLayout();
    return charWidth_;
  }
  int LineHeight() {
    EnsureLayout();
    return lineHeight_;
  }

  // Current layout, recomputed first when something changed.
  const HexLayout& Layout();
  int64_t TopRow();
  int64_t HorizontalOffset();
  void SetTopRow(int64_t row);
  void SetHorizontalOffset(int64_t offset);
  // Shows or hides and sets up both scroll bars from the current layout.
  void UpdateScrollBars();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void MarkDirty(bool repaint);
  void EnsureLayout();
  void ScheduleScrollBarUpdate();
  void SyncBar(QScrollBar* bar, int64_t value);
  HexLayoutInput LayoutInput() const;

  QByteArray data_;
  uint32_t baseAddress_ = 0;
  uint32_t addressDigits_ = 8;
  bool showAddress_ = false;
  bool showCharacters_ = false;
  uint32_t bytesPerRow_ = 16;
  bool autoFit_ = false;
  bool readOnly_ = false;
  bool multiLine_ = true;
  QFont font_;
  QFont drawFont_;
  int ascent_ = 12;
  int charWidth_ = 8;
  int lineHeight_ = 16;

  bool layoutDirty_ = true;
  HexLayout layout_;
  int64_t topRow_ = 0;
  int64_t horizontalOffset_ = 0;
  HexCaret caret_;

  int wheelRemainder_ = 0;
  bool scrollUpdatePosted_ = false;
  bool updatingScrollBars_ = false;
  bool syncingBars_ = false;
};

}  // namespace velmora
