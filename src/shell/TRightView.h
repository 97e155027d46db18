// The variable list pane (upper right) and the list base it shares with the
// address list pane: report-style rows mirroring a watch list, column widths
// kept under "View Information", the visible-row measurement the monitoring
// tick relies on, the Delete key, double-click and the context menu.
#pragma once

#include <QList>
#include <QString>
#include <QTableWidget>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/DataObject.h"

class QMenu;

namespace velmora {

class CMonitorControl;
class SettingsStore;

namespace cmd {
// Context-menu commands of the two monitor panes.
inline constexpr int kDeleteSelectedVariables = 32784;
inline constexpr int kDeleteAllVariables = 32785;
inline constexpr int kChangeSymbolData = 32786;
inline constexpr int kVariableViewFirst = 32787;  // .. 32791, HexDecimal .. Binary
inline constexpr int kDeleteSelectedAddresses = 32793;
inline constexpr int kDeleteAllAddresses = 32794;
inline constexpr int kChangeAddressData = 32795;
inline constexpr int kAddressViewFirst = 32796;  // .. 32800
// Not a command of the original menus: shows the selected items in the plot.
inline constexpr int kPlotSelectedVariables = 32880;
inline constexpr int kPlotSelectedAddresses = 32881;
}  // namespace cmd

struct MonitorColumn {
  const char* header;
  int defaultWidth;
  const char* profileKey;  // in "View Information"
};

class CMonitorListView : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kValueColumn = 2;  // "Monitor Value" in both panes

  CMonitorListView(CMonitorControl& control, SettingsStore& store,
                   std::span<const MonitorColumn> columns, QWidget* parent);
  ~CMonitorListView() override;

  // Full rows that fit the client area, measured on every resize (0 before).
  int RowsPerPage() const { return rowsPerPage_; }
  // Index of the topmost visible row (0 for an empty list).
  int TopRow() const;
  // Selected rows in ascending order.
  QList<int> SelectedRows() const;
  QString CellText(int row, int column) const;
  // Writes the current column widths to the profile (also done on destruction).
  void SaveColumnWidths();

  // The context menu as it would pop up now; the caller owns it. Actions carry
  // their command id in data().
  virtual QMenu* BuildContextMenu(QWidget* parent) = 0;
  static QAction* FindAction(QMenu* menu, int id);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // The viewport also changes size when a scroll bar comes or goes.
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

  virtual void DeleteSelected() = 0;
  virtual void DoubleClicked() = 0;

  void SetCell(int row, int column, const QString& text);
  // "Index" of every row rewritten with its position.
  void RenumberRows();
  // Appends an empty row and gives its index.
  int AppendRow();
  QAction* AddCommand(QMenu* menu, int id, const QString& text, bool enabled);
  void MeasureRowsPerPage();

  CMonitorControl& control_;

 private:
  SettingsStore& store_;
  std::vector<MonitorColumn> columns_;
  int rowsPerPage_ = 0;
  bool widthsSaved_ = false;
};

// Upper right pane: the variable watch list.
class CTRightView : public CMonitorListView {
  Q_OBJECT

 public:
  static constexpr MonitorColumn kColumns[] = {
      {"Index", 55, "TR Column0 Width"},         {"Symbol Name", 100, "TR Column1 Width"},
      {"Monitor Value", 90, "TR Column2 Width"}, {"View Type", 100, "TR Column3 Width"},
      {"Data Type", 90, "TR Column4 Width"},     {"Address", 90, "TR Column5 Width"},
  };

  CTRightView(CMonitorControl& control, SettingsStore& store, QWidget* parent = nullptr);

  bool IsVariableRegistered(const std::string& name) const;
  // From the symbol pane: the exact symbol, with its type's default view.
  void AddSymbolVariable(const std::string& name);
  // From the console: notice when the name is already in the list.
  void AddVariable(const std::string& name, uint32_t address, uint8_t viewType, uint16_t typeCode);
  void DeleteSelectedVariables();
  void DeleteVariableRow(uint32_t index);
  void DeleteAllVariables();
  void SetSelectedViewType(uint8_t viewType);
  void ChangeSelectedVariable();
  // One monitoring tick over the visible rows; false when a read failed.
  bool RefreshVariableValues();
  void RebuildVariableRows();
  void UpdateResolvedVariables();
  void PlotSelectedItems();

  QMenu* BuildContextMenu(QWidget* parent) override;

 protected:
  void DeleteSelected() override { DeleteSelectedVariables(); }
  void DoubleClicked() override;

 private:
  std::vector<CDataObject>& List() const;
  void FillRow(int row, const CDataObject& item);
  void AppendItem(CDataObject item);
  void AfterRowsRemoved();
};

}  // namespace velmora
