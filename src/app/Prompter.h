// Every question, message box, file dialog and modal dialog run of the
// application goes through one AppPrompter, so that tests can answer them
// without a window blocking.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace velmora {

class AppPrompter {
 public:
  virtual ~AppPrompter() = default;

  // Message box with the stop icon (start-up and load failures).
  virtual void Stop(QWidget* parent, const QString& text);
  // Message box with the information icon (outcomes, wrong input).
  virtual void Inform(QWidget* parent, const QString& text);
  // Yes/No question box; true only for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text);

  // File dialogs; an empty result means Cancel. `filter` uses Qt's form
  // ("Name (*.ext);;Other (*)").
  virtual QString OpenFileName(QWidget* parent, const QString& directory, const QString& filter);
  // Asks before replacing an existing file; `suffix` is added when none is typed.
  virtual QString SaveFileName(QWidget* parent, const QString& directory, const QString& filter,
                               const QString& suffix);

  // Runs a modal dialog; returns its result (QDialog::Accepted or Rejected).
  virtual int RunDialog(QDialog& dialog);
};

}  // namespace velmora
