// The "Message" page of the output bar: shows what user tools write.
#pragma once

#include <QPlainTextEdit>

namespace velmora {

// Read-only, fixed-pitch text pane with both scroll bars and no length limit
// of its own. Text is only ever added at the end.
class CMessageWnd : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kControlId = 102;

  explicit CMessageWnd(QWidget* parent = nullptr);

  // Appends the text at the very end and scrolls it into view. Line breaks
  // are shown as the tool wrote them; a CR LF pair is one break even when the
  // pair arrives split over two calls.
  void AppendText(const QString& text);
  // Empties the window; does nothing when it is already empty.
  void Clear();
  bool IsEmpty() const;

 private:
  // A CR ended the previous text: an LF opening the next one belongs to it.
  bool pendingCr_ = false;
};

}  // namespace velmora
