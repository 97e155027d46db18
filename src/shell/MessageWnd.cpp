#include "shell/MessageWnd.h"

#include <QFont>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

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
  setTextCursor(cursor);
  ensureCursorVisible();
}

void CMessageWnd::Clear() {
  pendingCr_ = false;
  if (IsEmpty()) return;
  clear();
}

bool CMessageWnd::IsEmpty() const {
  return document()->isEmpty();
}

}  // namespace velmora
