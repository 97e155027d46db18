// The "Command" page of the output bar: a caption, the 300-pixel input line
// and the coloured log below it. A typed line is parsed here and handed to the
// monitoring control, which runs it after whatever is already queued.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>

#include "monitoring/ConsoleParser.h"

class QLabel;
class QLineEdit;

namespace velmora {

class CMonitorControl;

// Read-only log that keeps at most 1000 lines; the oldest goes first.
class CConsoleLog : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr uint16_t kLineLimit = 1000;

  explicit CConsoleLog(QWidget* parent = nullptr);

  void AppendLine(const QString& text, const QColor& colour);
  uint16_t LineCount() const { return lineCount_; }
  // Line i as shown (without its line end) and its colour.
  QString LineText(int line) const;
  QColor LineColour(int line) const;

 private:
  void DeleteFirstLine();

  uint16_t lineLimit_ = kLineLimit;
  uint16_t lineCount_ = 0;
};

class CConsoleDlg : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMargin = 5;
  static constexpr int kGap = 4;
  static constexpr int kInputWidth = 300;
  static constexpr const char* kCaption = "Input monitoring command";

  explicit CConsoleDlg(CMonitorControl& control, QWidget* parent = nullptr);

  void PrintLine(const ConsoleLine& line);
  void PrintLine(const QString& text, const QColor& colour);
  void PrintHelp();
  // Parses the input line (always emptied); an accepted command is handed to
  // the monitoring control.
  void ExecuteCommandLine();
  // F2: the last accepted line back into the input line.
  void RecallLastCommand();

  const std::string& LastCommand() const { return lastCommand_; }
  QLineEdit* Input() const { return input_; }
  QLabel* Caption() const { return caption_; }
  CConsoleLog* Log() const { return log_; }

  static QColor ToQColor(const ConsoleColour& colour);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Layout();

  CMonitorControl& control_;
  QLabel* caption_ = nullptr;
  QLineEdit* input_ = nullptr;
  CConsoleLog* log_ = nullptr;
  std::string lastCommand_;
};

}  // namespace velmora
