// The symbol pane: the left column of the main window, listing the symbol
// table, where the user picks variables for the variable monitor.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/DataObject.h"

class QMenu;

namespace velmora {

class SettingsStore;

// Context-menu commands of the pane (menu "LeftList"); 57601 is the
// application's open-COFF command.
inline constexpr int kCmdAddSymbolList = 32781;
inline constexpr int kCmdDeleteAllItems = 32782;
inline constexpr int kCmdOpenCoffFromPane = 57601;

// What the pane needs of the variable monitor and of the application. Every
// operation has a harmless default so that a pane without a host works.
class SymbolPaneHost {
 public:
  virtual ~SymbolPaneHost() = default;
  virtual bool VariableMonitoring() { return false; }
  virtual void StopMonitoring(int mode) { (void)mode; }
  virtual void StartMonitoring(int mode) { (void)mode; }
  virtual void UpdateResolvedVariables() {}
  virtual bool IsVariableRegistered(const std::string& name) {
    (void)name;
    return false;
  }
  virtual void AddSymbolVariable(const std::string& name) { (void)name; }
  // "Open COFF File..." of the context menu.
  virtual void OpenCoffFile() {}
  // "Delete All Items": the symbol table and the section list are emptied.
  virtual void DeleteAllSymbols() {}
  // A target procedure runs and works from the loaded program: the symbols
  // and sections may be added from but not replaced or emptied meanwhile.
  virtual bool ProcedureRunning() { return false; }
};

// One row; the pane keeps texts only, never a reference to a record.
struct SymbolRow {
  std::string name;
  uint32_t address = 0;
  uint16_t typeCode = 0;  // columns 2 and 3 stay empty for basic type 0
  std::string arrayText;
};

class SymbolTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetRows(std::vector<SymbolRow> rows);
  const std::vector<SymbolRow>& Rows() const { return rows_; }
  QString Text(int row, int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<SymbolRow> rows_;
  // Type texts by type code: a program has few distinct codes.
  mutable QHash<uint16_t, QString> typeTexts_;
};

class CLeftView : public QTableView {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 4;
  static constexpr const char* kHeaders[kColumnCount] = {"Symbol Name", "Address", "Data Type",
                                                         "Etc"};
  static constexpr const char* kWidthKeys[kColumnCount] = {
      "Left Column0 Width", "Left Column1 Width", "Left Column2 Width", "Left Column3 Width"};
  static constexpr int kDefaultWidths[kColumnCount] = {100, 70, 120, 110};

  // Column widths are read from `store` (section "View Information") now and
  // written back when the pane is destroyed; the store must outlive the pane.
  explicit CLeftView(SettingsStore* store = nullptr, QWidget* parent = nullptr);
  ~CLeftView() override;

  void SetHost(SymbolPaneHost* host) { host_ = host ? host : &defaultHost_; }

  // Rebuilds the rows from the symbol table (called after every successful
  // load), lets the variable monitor re-resolve its items, and sorts.
  void Fill(const std::vector<CDataObject>& symbols);
  void DeleteAllRows();

  int RowCount() const;
  QString Text(int row, int column) const;
  // Column-0 texts of the selected rows, top to bottom.
  QStringList SelectedNames() const;

  // The context menu with its items enabled for the pane's current state.
  std::unique_ptr<QMenu> BuildContextMenu();
  // The double-click and "Add Symbol List" actions.
  void AddSymbolAt(int row);
  void AddSelectedSymbols();
  void DeleteAllItems();

  SymbolTableModel* Model() const { return model_; }
  // Writes the current column widths to the store.
  void SaveColumnWidths();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void AddName(const std::string& name);

  SettingsStore* store_ = nullptr;
  SymbolTableModel* model_ = nullptr;
  SymbolPaneHost defaultHost_;
  SymbolPaneHost* host_ = &defaultHost_;
};

}  // namespace velmora
