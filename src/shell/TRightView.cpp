#include "shell/TRightView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>

#include "config/SettingsStore.h"
#include "image/ProgramImage.h"
#include "image/SymbolTable.h"
#include "monitoring/ValueFormats.h"
#include "monitoring/WatchLists.h"
#include "shell/Commands.h"
#include "shell/MonitorControl.h"
#include "shell/PlotView.h"

namespace velmora {

namespace {

// A width read back from the profile that no one could have meant.
bool PlausibleWidth(int32_t width) {
  return width >= 1 && width <= 4000;
}

QString Hex6(uint32_t address) {
  return QString::asprintf("0x%06X", static_cast<unsigned>(address));
}

}  // namespace

// ---------------------------------------------------------------------------
// CMonitorListView

CMonitorListView::CMonitorListView(CMonitorControl& control, SettingsStore& store,
                                   std::span<const MonitorColumn> columns,
                                   const MonitorPaneSpec& spec, QWidget* parent)
    : QTableWidget(parent),
      control_(control),
      store_(store),
      columns_(columns.begin(), columns.end()),
      spec_(spec) {
  setColumnCount(static_cast<int>(columns_.size()));
  QStringList headers;
  for (const MonitorColumn& c : columns_) headers << QString::fromLatin1(c.header);
  setHorizontalHeaderLabels(headers);
  for (int i = 0; i < columnCount(); ++i) {
    const MonitorColumn& c = columns_[static_cast<size_t>(i)];
    const int32_t stored = store_.ReadInt(kSectionViewInfo, c.profileKey, c.defaultWidth);
    setColumnWidth(i, PlausibleWidth(stored) ? stored : c.defaultWidth);
  }
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setWordWrap(false);
  setShowGrid(true);
  setTabKeyNavigation(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

CMonitorListView::~CMonitorListView() {
  if (!widthsSaved_) SaveColumnWidths();
}

void CMonitorListView::SaveColumnWidths() {
  for (int i = 0; i < columnCount(); ++i)
    store_.WriteInt(kSectionViewInfo, columns_[static_cast<size_t>(i)].profileKey,
                    static_cast<uint32_t>(columnWidth(i)));
  widthsSaved_ = true;
}

int CMonitorListView::TopRow() const {
  const int row = rowAt(0);
  return row < 0 ? 0 : row;
}

QList<int> CMonitorListView::SelectedRows() const {
  QList<int> rows;
  const QModelIndexList selected = selectionModel()->selectedRows();
  for (const QModelIndex& index : selected) rows << index.row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

QString CMonitorListView::CellText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell ? cell->text() : QString();
}

void CMonitorListView::SetCell(int row, int column, const QString& text) {
  if (QTableWidgetItem* cell = item(row, column)) {
    cell->setText(text);
    return;
  }
  setItem(row, column, new QTableWidgetItem(text));
}

void CMonitorListView::MeasureRowsPerPage() {
  const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
  rowsPerPage_ = std::max(0, viewport()->height() / rowHeight);
}

void CMonitorListView::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  MeasureRowsPerPage();
}

bool CMonitorListView::viewportEvent(QEvent* event) {
  const bool handled = QTableWidget::viewportEvent(event);
  if (event->type() == QEvent::Resize) MeasureRowsPerPage();
  return handled;
}

void CMonitorListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) DeleteSelectedItems();
  QTableWidget::keyPressEvent(event);
}

void CMonitorListView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = BuildContextMenu(this);
  QPointer<QMenu> guard(menu);
  menu->exec(event->globalPos());
  if (guard) delete menu;
}

void CMonitorListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableWidget::mouseDoubleClickEvent(event);
  if (Monitoring()) ChangeSelected();
}

QAction* CMonitorListView::AddCommand(QMenu* menu, int id, const QString& text, bool enabled) {
  QAction* action = menu->addAction(text);
  action->setData(id);
  action->setEnabled(enabled);
  return action;
}

QAction* CMonitorListView::FindAction(QMenu* menu, int id) {
  if (!menu) return nullptr;
  for (QAction* action : menu->actions()) {
    if (action->data().toInt() == id && !action->isSeparator()) return action;
    if (QAction* inner = FindAction(action->menu(), id)) return inner;
  }
  return nullptr;
}

bool CMonitorListView::IsVariablePane() const {
  return spec_.mode == kMonitorVariables;
}

bool CMonitorListView::Monitoring() const {
  return IsVariablePane() ? control_.variableMonitoring() : control_.addressMonitoring();
}

void CMonitorListView::StartMonitoringIfIdle() {
  if (!Monitoring() && control_.PodFound()) control_.StartMonitoring(spec_.mode);
}

void CMonitorListView::AppendItem(CDataObject item) {
  const int row = rowCount();
  insertRow(row);
  FillRow(row, item);
  scrollToItem(this->item(row, 0));
  Items().push_back(std::move(item));
  StartMonitoringIfIdle();
  control_.UpdateCommandUi();
}

void CMonitorListView::AfterRowsRemoved() {
  for (int row = 0; row < rowCount(); ++row) SetCell(row, 0, QString::number(row));
  if (rowCount() == 0 && Monitoring()) control_.StopMonitoring(spec_.mode);
  control_.UpdateCommandUi();
}

void CMonitorListView::DeleteSelectedItems() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) return;
  for (auto it = rows.crbegin(); it != rows.crend(); ++it) removeRow(*it);
  std::vector<size_t> items;
  for (int row : rows) items.push_back(static_cast<size_t>(row));
  DeleteRows(Items(), std::move(items));
  AfterRowsRemoved();
}

void CMonitorListView::DeleteItemRow(uint32_t index) {
  if (index >= static_cast<uint32_t>(rowCount())) return;
  removeRow(static_cast<int>(index));
  if (index < Items().size()) Items().erase(Items().begin() + index);
  AfterRowsRemoved();
}

void CMonitorListView::DeleteAllItems() {
  setRowCount(0);
  if (Monitoring()) control_.StopMonitoring(spec_.mode);
  Items().clear();
  control_.UpdateCommandUi();
}

void CMonitorListView::SetSelectedViewType(uint8_t viewType) {
  for (int row : SelectedRows()) {
    if (static_cast<size_t>(row) >= Items().size()) continue;
    Items()[static_cast<size_t>(row)].viewType = viewType;
    SetCell(row, 3, QString::fromLatin1(ViewTypeText(viewType)));
  }
}

bool CMonitorListView::RefreshValues() {
  const std::vector<CDataObject>& items = Items();
  CPlotView* plot = control_.Plot();
  const bool feed = plot && plot->SeriesCount() > 0;
  const bool variables = IsVariablePane();
  const RefreshOutcome outcome =
      RefreshVisibleRows(items, static_cast<size_t>(TopRow()), static_cast<size_t>(RowsPerPage()),
                         variables, control_.Port(), [&](size_t row, uint32_t word) {
                           const CDataObject& item = items[row];
                           SetCell(static_cast<int>(row), kValueColumn,
                                   QString::fromStdString(FormatTargetWord(word, item.viewType)));
                           if (!feed) return;
                           if (variables)
                             plot->FeedVariable(item, word);
                           else
                             plot->FeedAddress(item, word);
                         });
  return outcome.ok;
}

void CMonitorListView::RebuildRows() {
  // Emptied first, so that every value cell starts empty.
  setRowCount(0);
  const std::vector<CDataObject>& items = Items();
  setRowCount(static_cast<int>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) FillRow(static_cast<int>(i), items[i]);
  if (!items.empty()) StartMonitoringIfIdle();
  control_.UpdateCommandUi();
}

void CMonitorListView::PlotSelectedItems() {
  if (IsVariablePane())
    control_.PlotVariables(SelectedRows());
  else
    control_.PlotAddresses(SelectedRows());
}

QMenu* CMonitorListView::BuildContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QString::fromLatin1(spec_.menuName));
  const bool variables = IsVariablePane();
  const bool live = rowCount() > 0 && control_.PodFound();
  const bool selected = live && !SelectedRows().isEmpty();
  // What reads or writes the target waits while a procedure holds the link.
  const bool linkFree = !control_.LinkBusy();
  QAction* toggle = AddCommand(
      menu, spec_.toggleId,
      QString::fromLatin1(Monitoring() ? spec_.stopCaption : spec_.startCaption), live && linkFree);
  connect(toggle, &QAction::triggered, this, [this, variables] {
    if (variables)
      control_.ToggleVariableMonitoring();
    else
      control_.ToggleAddressMonitoring();
  });
  menu->addSeparator();
  QAction* change = AddCommand(menu, spec_.changeId, QString::fromLatin1(spec_.changeCaption),
                               selected && linkFree);
  connect(change, &QAction::triggered, this, &CMonitorListView::ChangeSelected);
  QMenu* views = menu->addMenu(QStringLiteral("Data View Type"));
  views->setEnabled(selected);
  for (uint8_t v = 0; v < kViewTypeCount; ++v) {
    const ViewTypeInfo& info = ViewTypeInfoOf(v);
    QAction* a =
        AddCommand(views, spec_.viewFirstId + v, QString::fromLatin1(info.menuCaption), selected);
    a->setStatusTip(QString::fromLatin1(variables ? info.variablePrompt : info.addressPrompt));
    connect(a, &QAction::triggered, this, [this, v] { SetSelectedViewType(v); });
  }
  menu->addSeparator();
  QAction* del =
      AddCommand(menu, spec_.deleteSelectedId, QStringLiteral("Delete Selected Items"), selected);
  connect(del, &QAction::triggered, this, &CMonitorListView::DeleteSelectedItems);
  QAction* all = AddCommand(menu, spec_.deleteAllId, QStringLiteral("Delete All Items"), live);
  connect(all, &QAction::triggered, this, &CMonitorListView::DeleteAllItems);
  menu->addSeparator();
  QAction* plot = AddCommand(menu, spec_.plotId, QStringLiteral("Plot Selected Items"),
                             !SelectedRows().isEmpty());
  connect(plot, &QAction::triggered, this, &CMonitorListView::PlotSelectedItems);
  if (variables) {
    QAction* record = menu->addAction(QStringLiteral("Record Selected Items..."));
    record->setObjectName(QStringLiteral("RecordSelectedItems"));
    record->setEnabled(!SelectedRows().isEmpty());
    connect(record, &QAction::triggered, this,
            [this] { control_.RecordVariables(SelectedRows()); });
  }
  return menu;
}

// ---------------------------------------------------------------------------
// CTRightView

namespace {

constexpr MonitorPaneSpec kVariablePane = {kMonitorVariables,
                                           "TRightList",
                                           cmd::kVariableMonitoring,
                                           "Stop Variable Monitoring",
                                           "Start Variable Monitoring",
                                           cmd::kChangeSymbolData,
                                           "Change Symbol Data...",
                                           cmd::kVariableViewFirst,
                                           cmd::kDeleteSelectedVariables,
                                           cmd::kDeleteAllVariables,
                                           cmd::kPlotSelectedVariables};

}  // namespace

CTRightView::CTRightView(CMonitorControl& control, SettingsStore& store, QWidget* parent)
    : CMonitorListView(control, store, kColumns, kVariablePane, parent) {
  setObjectName(QStringLiteral("VariablePane"));
}

std::vector<CDataObject>& CTRightView::Items() const {
  return control_.Program().variables;
}

bool CTRightView::IsVariableRegistered(const std::string& name) const {
  return velmora::IsVariableRegistered(Items(), name);
}

void CTRightView::FillRow(int row, const CDataObject& item) {
  SetCell(row, 0, QString::number(row));
  SetCell(row, 1, QString::fromStdString(item.name));
  if (!this->item(row, kValueColumn)) SetCell(row, kValueColumn, QString());
  SetCell(row, 3, QString::fromLatin1(ViewTypeText(item.viewType)));
  SetCell(row, 4, QString::fromLatin1(BasicTypeText(item.BasicType())));
  SetCell(row, 5, Hex6(item.address));
}

void CTRightView::AddSymbolVariable(const std::string& name) {
  std::optional<CDataObject> item = MakeSymbolVariable(control_.Program().symbols, name);
  if (!item) return;
  AppendItem(std::move(*item));
}

void CTRightView::AddVariable(const std::string& name, uint32_t address, uint8_t viewType,
                              uint16_t typeCode) {
  if (IsVariableRegistered(name)) {
    control_.PrintLine(VariableRegisteredLine());
    return;
  }
  AppendItem(MakeVariable(name, address, viewType, typeCode));
}

void CTRightView::ChangeSelectedVariable() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) return;
  const int row = rows.first();
  if (static_cast<size_t>(row) >= Items().size()) return;
  const CDataObject item = Items()[static_cast<size_t>(row)];
  ChangeSymbolRequest request;
  request.name = CellText(row, 1);
  request.addressText = Hex6(item.address);
  request.dataTypeText = CellText(row, 4);
  request.valueText = CellText(row, kValueColumn);
  request.viewType = item.viewType;
  request.typeCode = item.typeCode;
  const ChangeSymbolHook& dialog = control_.ChangeSymbolDialog();
  if (!dialog) return;
  QPointer<CTRightView> self(this);
  uint32_t word = 0;
  // Ticks go on while the dialog is up; the address was taken before.
  if (!dialog(this, request, word)) return;
  if (!self) return;
  control_.WriteWord(item.address, word);
}

void CTRightView::UpdateResolvedVariables() {
  const std::vector<size_t> rows =
      velmora::UpdateResolvedVariables(control_.Program().symbols, Items());
  for (size_t row : rows)
    if (row < static_cast<size_t>(rowCount())) FillRow(static_cast<int>(row), Items()[row]);
}

}  // namespace velmora
