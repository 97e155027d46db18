// The "User Tool Configuration" dialog: registers up to five user tools.
#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>

#include "config/SettingsStore.h"
#include "shell/UserTools.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace velmora {

class CUserToolDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 134;
  // Control ids, kept as object names "ctl<id>" so tests and scripts find them.
  enum ControlId {
    kIdUp = 1002,
    kIdDown = 1003,
    kIdCommand = 1004,
    kIdWorkDir = 1005,
    kIdName = 1006,
    kIdBrowseProgram = 1007,
    kIdBrowseFolder = 1008,
    kIdAdd = 1009,
    kIdDelete = 1010,
    kIdReplace = 1011,
    kIdList = 1012,
  };

  explicit CUserToolDlg(SettingsStore& store, QWidget* parent = nullptr);

  // The rows as they stand in the dialog (not yet stored).
  const std::vector<UserToolEntry>& Tools() const { return tools_; }
  QString InitDir() const { return initDir_; }
  int SelectedRow() const;

  QLineEdit* CommandEdit() const { return command_; }
  QLineEdit* WorkDirEdit() const { return workDir_; }
  QLineEdit* NameEdit() const { return name_; }
  QListWidget* List() const { return list_; }
  QToolButton* Button(ControlId id) const;

  // Button handlers.
  void OnAdd();
  void OnReplace();
  void OnDelete();
  void OnUp();
  void OnDown();
  void OnBrowseProgram();
  void OnBrowseFolder();
  // Selects a row as the user would (the edit fields follow it).
  void SelectRowByUser(int row);

  void done(int result) override;

 protected:
  // Seams for the message box and the two browse dialogs (tests replace them).
  virtual void Inform(const QString& text);
  // Returns the chosen program file, or an empty string on Cancel.
  virtual QString AskProgramFile(const QString& startDir);
  // Returns the chosen folder, or an empty string on Cancel.
  virtual QString AskFolder(const QString& startDir);

 private:
  std::optional<UserToolEntry> ValidateToolInput(bool checkDuplicate);
  void SelectRow(int row);  // programmatic: the edit fields stay as they are
  void OnRowChanged(int row);
  void SwapRows(int a, int b);

  SettingsStore& store_;
  std::vector<UserToolEntry> tools_;
  QString initDir_;
  bool selectingByProgram_ = false;

  QListWidget* list_ = nullptr;
  QLineEdit* command_ = nullptr;
  QLineEdit* workDir_ = nullptr;
  QLineEdit* name_ = nullptr;
  QToolButton* add_ = nullptr;
  QToolButton* replace_ = nullptr;
  QToolButton* delete_ = nullptr;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
};

}  // namespace velmora
