#include "shell/LeftView.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

#include "config/SettingsStore.h"
#include "image/SymbolTable.h"
#include "shell/SymbolSort.h"
#include "shell/WaitCursor.h"

namespace velmora {

namespace {

constexpr int kVariableMode = 1;

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

// ---------------------------------------------------------------------------

void SymbolTableModel::SetRows(std::vector<SymbolRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

QString SymbolTableModel::Text(int row, int column) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
  const SymbolRow& r = rows_[static_cast<size_t>(row)];
  switch (column) {
    case 0:
      return Latin1(r.name);
    case 1:
      return QString::asprintf("0x%06X", r.address);
    case 2: {
      if (BasicTypeOf(r.typeCode) == 0) return {};
      auto it = typeTexts_.constFind(r.typeCode);
      if (it == typeTexts_.constEnd())
        it = typeTexts_.insert(r.typeCode, Latin1(TypeText(r.typeCode)));
      return *it;
    }
    case 3:
      return BasicTypeOf(r.typeCode) == 0 ? QString() : Latin1(r.arrayText);
    default:
      return {};
  }
}

int SymbolTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SymbolTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : CLeftView::kColumnCount;
}

QVariant SymbolTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return Text(index.row(), index.column());
}

QVariant SymbolTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= CLeftView::kColumnCount) return {};
  return QString::fromLatin1(CLeftView::kHeaders[section]);
}

// ---------------------------------------------------------------------------

CLeftView::CLeftView(SettingsStore* store, QWidget* parent) : QTableView(parent), store_(store) {
  setObjectName(QStringLiteral("LeftView"));
  model_ = new SymbolTableModel(this);
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setSortingEnabled(false);
  setTabKeyNavigation(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  // Fixed row heights keep a pane of 100,000 rows as quick as a short one.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < kColumnCount; ++c) {
    int width = kDefaultWidths[c];
    if (store_) width = store_->ReadInt(kSectionViewInfo, kWidthKeys[c], width);
    setColumnWidth(c, std::max(0, width));
  }
}

CLeftView::~CLeftView() {
  SaveColumnWidths();
}

void CLeftView::SaveColumnWidths() {
  if (!store_) return;
  for (int c = 0; c < kColumnCount; ++c)
    store_->WriteInt(kSectionViewInfo, kWidthKeys[c], static_cast<uint32_t>(columnWidth(c)));
}

void CLeftView::Fill(const std::vector<CDataObject>& symbols) {
  DeleteAllRows();
  if (symbols.empty()) return;
  WaitCursorScope wait;
  std::vector<SymbolRow> rows;
  rows.reserve(symbols.size());
  for (const CDataObject& s : symbols) rows.push_back({s.name, s.address, s.typeCode, s.arrayText});

  if (host_->VariableMonitoring()) {
    host_->StopMonitoring(kVariableMode);
    host_->UpdateResolvedVariables();
    host_->StartMonitoring(kVariableMode);
  } else {
    host_->UpdateResolvedVariables();
  }

  std::vector<std::string> names;
  names.reserve(rows.size());
  for (const SymbolRow& r : rows) names.push_back(r.name);
  const std::vector<uint32_t> order = PaneSortOrder(names);
  std::vector<SymbolRow> sorted;
  sorted.reserve(rows.size());
  for (uint32_t k : order) sorted.push_back(std::move(rows[k]));
  model_->SetRows(std::move(sorted));
}

void CLeftView::DeleteAllRows() {
  if (model_->rowCount() > 0) model_->SetRows({});
}

int CLeftView::RowCount() const {
  return model_->rowCount();
}

QString CLeftView::Text(int row, int column) const {
  return model_->Text(row, column);
}

QStringList CLeftView::SelectedNames() const {
  QModelIndexList rows = selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList names;
  for (const QModelIndex& index : rows) names.append(model_->Text(index.row(), 0));
  return names;
}

void CLeftView::AddName(const std::string& name) {
  if (!host_->IsVariableRegistered(name)) host_->AddSymbolVariable(name);
}

void CLeftView::AddSymbolAt(int row) {
  if (row < 0 || row >= RowCount()) return;
  AddName(model_->Rows()[static_cast<size_t>(row)].name);
}

void CLeftView::AddSelectedSymbols() {
  QModelIndexList rows = selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  // Names are taken first: adding may change what the host shows, never the rows.
  std::vector<std::string> names;
  for (const QModelIndex& index : rows)
    names.push_back(model_->Rows()[static_cast<size_t>(index.row())].name);
  for (const std::string& name : names) AddName(name);
}

void CLeftView::DeleteAllItems() {
  if (host_->ProcedureRunning()) return;
  DeleteAllRows();
  host_->DeleteAllSymbols();
}

std::unique_ptr<QMenu> CLeftView::BuildContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->setObjectName(QStringLiteral("LeftList"));
  const bool hasRows = RowCount() > 0;
  const bool hasSelection = hasRows && selectionModel()->hasSelection();
  const bool idle = !host_->ProcedureRunning();
  auto add = [&](int id, const char* text, bool enabled, auto slot) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setData(id);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, slot);
  };
  add(kCmdOpenCoffFromPane, "Open COFF File...", !hasRows && idle,
      [this] { host_->OpenCoffFile(); });
  add(kCmdAddSymbolList, "Add Symbol List", hasSelection, [this] { AddSelectedSymbols(); });
  add(kCmdDeleteAllItems, "Delete All Items", hasRows && idle, [this] { DeleteAllItems(); });
  return menu;
}

void CLeftView::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu = BuildContextMenu();
  menu->exec(event->globalPos());
  event->accept();
}

void CLeftView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton || RowCount() == 0) return;
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid()) AddSymbolAt(index.row());
}

}  // namespace velmora
