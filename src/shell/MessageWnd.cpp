#include "shell/MessageWnd.h"

#include <QFont>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace velmora {

CMessageWnd::CMessageWnd(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("MessageWnd"));
  setReadOnly(true);
  // Long tool lines stay whole; the horizontal bar lets the user read them.
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setUndoRedoEnabled(false);
  document()->setMaximumBlockCount(0);

  QFont font(QStringLiteral("Courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(8);
  font.setWeight(QFont::Normal);
  setFont(font);
}

void CMessageWnd::AppendText(const QString& text) {
  if (text.isEmpty()) return;
  // The text document treats CR and LF each as a paragraph break; fold CR LF
  // into one so Windows-style output is not double spaced.
  QString normalized;
  normalized.reserve(text.size());
  qsizetype i = 0;
  if (pendingCr_ && text.front() == u'\n') i = 1;
  pendingCr_ = false;
  for (; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == u'\r') {
      normalized.append(u'\n');
      if (i + 1 < text.size()) {
        if (text.at(i + 1) == u'\n') ++i;
      } else {
        pendingCr_ = true;
      }
    } else {
      normalized.append(c);
    }
  }
  if (normalized.isEmpty()) return;

  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(normalized);
  TrimOldest();
  cursor.movePosition(QTextCursor::End);
  setTextCursor(cursor);
  ensureCursorVisible();
}

QString CMessageWnd::DroppedNotice(qint64 chars) {
  return QStringLiteral("--- %1 characters of older output were dropped; the newest follow ---")
      .arg(chars);
}

void CMessageWnd::SetLimits(int maxLines, int maxChars) {
  maxLines_ = std::max(4, maxLines);
  maxChars_ = std::max(400, maxChars);
}

void CMessageWnd::TrimOldest() {
  QTextDocument* doc = document();
  if (doc->blockCount() <= maxLines_ && doc->characterCount() <= maxChars_) return;
  // Whole lines go first, oldest first; a single line longer than the limit
  // loses its beginning.
  const int notice = droppedChars_ > 0 ? 1 : 0;
  const int dropLines = doc->blockCount() - maxLines_ * 3 / 4;
  const int dropChars = doc->characterCount() - maxChars_ * 3 / 4;
  const QTextBlock first = doc->findBlockByNumber(notice);
  QTextBlock keep = first;
  int lines = 0, chars = 0;
  while (keep.next().isValid() && (lines < dropLines || chars < dropChars)) {
    chars += keep.length();
    ++lines;
    keep = keep.next();
  }
  int end = keep.position();
  if (chars < dropChars) end += std::min(dropChars - chars, keep.length() - 1);
  QTextCursor cut(doc);
  cut.setPosition(first.position());
  cut.setPosition(end, QTextCursor::KeepAnchor);
  droppedChars_ += cut.selectedText().size();
  cut.removeSelectedText();
  QTextCursor line(doc);
  if (notice) {
    line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    line.insertText(DroppedNotice(droppedChars_));
  } else {
    line.insertText(DroppedNotice(droppedChars_) + u'\n');
  }
}

void CMessageWnd::Clear() {
  pendingCr_ = false;
  droppedChars_ = 0;
  if (IsEmpty()) return;
  clear();
}

bool CMessageWnd::IsEmpty() const {
  return document()->isEmpty();
}

}  // namespace velmora
