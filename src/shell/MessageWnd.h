// The "Message" page of the output bar: shows what user tools write.
#pragma once

#include <QPlainTextEdit>

namespace velmora {

// Read-only, fixed-pitch text pane with both scroll bars. Text is only ever
// added at the end. A tool that writes without end must not fill memory, so
// the window keeps a generous tail: past kMaxLines lines or kMaxChars
// characters the oldest output goes (down to three quarters of the limit, so
// trimming is rare), and a first line says how much was dropped.
class CMessageWnd : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kControlId = 102;
  static constexpr int kMaxLines = 50000;
  static constexpr int kMaxChars = 1000000;

  explicit CMessageWnd(QWidget* parent = nullptr);

  // Appends the text at the very end and scrolls it into view. Line breaks
  // are shown as the tool wrote them; a CR LF pair is one break even when the
  // pair arrives split over two calls.
  void AppendText(const QString& text);
  // Empties the window; does nothing when it is already empty.
  void Clear();
  bool IsEmpty() const;
  // Characters of output dropped since the last Clear (0: nothing dropped).
  qint64 DroppedChars() const { return droppedChars_; }
  static QString DroppedNotice(qint64 chars);
  // Other limits than kMaxLines and kMaxChars (tests).
  void SetLimits(int maxLines, int maxChars);

 private:
  void TrimOldest();

  qint64 droppedChars_ = 0;
  int maxLines_ = kMaxLines;
  int maxChars_ = kMaxChars;
  // A CR ended the previous text: an LF opening the next one belongs to it.
  bool pendingCr_ = false;
};

}  // namespace velmora
