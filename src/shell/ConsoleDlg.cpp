#include "shell/ConsoleDlg.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "image/ProgramImage.h"
#include "shell/MonitorControl.h"

namespace velmora {

// ---------------------------------------------------------------------------
// CConsoleLog

CConsoleLog::CConsoleLog(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("ConsoleLog"));
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void CConsoleLog::DeleteFirstLine() {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

void CConsoleLog::AppendLine(const QString& text, const QColor& colour) {
  if (lineCount_ >= lineLimit_)
    DeleteFirstLine();
  else
    ++lineCount_;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(colour);
  // The document always ends in an empty line; the text goes there and a new
  // empty line follows it.
  cursor.insertText(text, format);
  cursor.insertBlock(QTextBlockFormat(), format);
  setTextCursor(cursor);
  if (viewport()->height() > 0) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QString CConsoleLog::LineText(int line) const {
  return document()->findBlockByNumber(line).text();
}

QColor CConsoleLog::LineColour(int line) const {
  const QTextBlock block = document()->findBlockByNumber(line);
  for (auto it = block.begin(); !it.atEnd(); ++it)
    return it.fragment().charFormat().foreground().color();
  return QColor();
}

// ---------------------------------------------------------------------------
// CConsoleDlg

CConsoleDlg::CConsoleDlg(CMonitorControl& control, QWidget* parent)
    : QWidget(parent), control_(control) {
  setObjectName(QStringLiteral("ConsolePage"));
  caption_ = new QLabel(QString::fromLatin1(kCaption), this);
  caption_->setObjectName(QStringLiteral("ConsoleCaption"));
  input_ = new QLineEdit(this);
  input_->setObjectName(QStringLiteral("ConsoleInput"));
  log_ = new CConsoleLog(this);
  // The caption is as high as the input line so that both read on one line.
  caption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  caption_->setFixedSize(caption_->sizeHint().width(), input_->sizeHint().height());
  input_->installEventFilter(this);
  setFocusProxy(input_);
  Layout();
}

QColor CConsoleDlg::ToQColor(const ConsoleColour& colour) {
  return QColor(colour.red, colour.green, colour.blue);
}

void CConsoleDlg::PrintLine(const ConsoleLine& line) {
  log_->AppendLine(QString::fromStdString(line.text), ToQColor(line.colour));
}

void CConsoleDlg::PrintLine(const QString& text, const QColor& colour) {
  log_->AppendLine(text, colour);
}

void CConsoleDlg::PrintHelp() {
  for (const ConsoleLine& line : HelpLines()) PrintLine(line);
}

void CConsoleDlg::ExecuteCommandLine() {
  // The line stays in the input so that it can be entered once the procedure
  // that holds the link has ended.
  if (control_.LinkBusy()) {
    PrintLine({kConsoleBusyText, kConsoleErrorColour});
    return;
  }
  const std::string text = input_->text().toStdString();
  input_->clear();
  const ConsoleOutcome outcome =
      velmora::ExecuteCommandLine(text, control_.Program().symbols, lastCommand_);
  for (const ConsoleLine& line : outcome.lines) PrintLine(line);
  if (outcome.handOver) control_.PostConsoleCommand(outcome.command);
}

void CConsoleDlg::RecallLastCommand() {
  if (lastCommand_.empty()) return;
  input_->setText(QString::fromStdString(lastCommand_));
  input_->setFocus();
}

bool CConsoleDlg::eventFilter(QObject* watched, QEvent* event) {
  // The input line's own keys come before the window's accelerators: F2 here
  // recalls the last line instead of running "Serial Boot && Verify".
  if (watched == input_ && event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier && control_.PodFound()) {
      event->accept();
      return true;
    }
  }
  if (watched == input_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Without a pod the line stays as typed.
      if (control_.PodFound()) ExecuteCommandLine();
      return true;
    }
    if (key == Qt::Key_F2) {
      if (control_.PodFound()) RecallLastCommand();
      return true;
    }
    if (key == Qt::Key_Escape) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CConsoleDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Layout();
}

void CConsoleDlg::Layout() {
  const QSize captionSize = caption_->size();
  caption_->move(kMargin, kMargin);
  input_->setGeometry(kMargin + captionSize.width() + kGap, kMargin, kInputWidth,
                      captionSize.height());
  const int top = kMargin + captionSize.height() + kGap;
  log_->setGeometry(kMargin, top, std::max(0, width() - 2 * kMargin),
                    std::max(0, height() - top - kMargin));
}

}  // namespace velmora
