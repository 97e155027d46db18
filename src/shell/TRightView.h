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

// What tells the two panes apart beyond their columns: the monitoring mode
// that reads their list, and the ids and captions of their context menus.
struct MonitorPaneSpec {
  int mode;  // kMonitorVariables or kMonitorAddresses
  const char* menuName;
  int toggleId;
  const char* stopCaption;
  const char* startCaption;
  int changeId;
  const char* changeCaption;
  int viewFirstId;
  int deleteSelectedId;
  int deleteAllId;
  int plotId;
};

class CMonitorListView : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kValueColumn = 2;  // "Monitor Value" in both panes

  CMonitorListView(CMonitorControl& control, SettingsStore& store,
                   std::span<const MonitorColumn> columns, const MonitorPaneSpec& spec,
                   QWidget* parent);
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
  QMenu* BuildContextMenu(QWidget* parent);
  static QAction* FindAction(QMenu* menu, int id);

  // Operations on the pane's watch list; rows and list stay in step, and the
  // pane's monitoring stops with its last row.
  void DeleteSelectedItems();
  void DeleteItemRow(uint32_t index);
  void DeleteAllItems();
  void SetSelectedViewType(uint8_t viewType);
  // One monitoring tick over the visible rows; false when a read failed.
  bool RefreshValues();
  // Rows rebuilt from the list with empty values; monitoring starts when there are items.
  void RebuildRows();
  void PlotSelectedItems();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // The viewport also changes size when a scroll bar comes or goes.
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Opens the change dialog for the selected row while the pane is monitored.
  void mouseDoubleClickEvent(QMouseEvent* event) override;

  virtual std::vector<CDataObject>& Items() const = 0;
  virtual void FillRow(int row, const CDataObject& item) = 0;
  virtual void ChangeSelected() = 0;

  bool IsVariablePane() const;
  bool Monitoring() const;
  // Appends the item with its row, and starts the pane's monitoring when idle.
  void AppendItem(CDataObject item);
  void SetCell(int row, int column, const QString& text);
  QAction* AddCommand(QMenu* menu, int id, const QString& text, bool enabled);
  void MeasureRowsPerPage();

  CMonitorControl& control_;

 private:
  void AfterRowsRemoved();
  void StartMonitoringIfIdle();

  SettingsStore& store_;
  std::vector<MonitorColumn> columns_;
  MonitorPaneSpec spec_;
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
  void ChangeSelectedVariable();
  void UpdateResolvedVariables();

 protected:
  std::vector<CDataObject>& Items() const override;
  void FillRow(int row, const CDataObject& item) override;
  void ChangeSelected() override { ChangeSelectedVariable(); }
};

}  // namespace velmora
