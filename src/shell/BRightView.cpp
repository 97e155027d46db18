#include "shell/BRightView.h"

#include <QMenu>
#include <QPointer>

#include "image/ProgramImage.h"
#include "monitoring/ValueFormats.h"
#include "monitoring/WatchLists.h"
#include "shell/Commands.h"
#include "shell/MonitorControl.h"
#include "shell/PlotView.h"

namespace velmora {

CBRightView::CBRightView(CMonitorControl& control, SettingsStore& store, QWidget* parent)
    : CMonitorListView(control, store, kColumns, parent) {
  setObjectName(QStringLiteral("AddressPane"));
}

std::vector<CDataObject>& CBRightView::List() const {
  return control_.Program().addresses;
}

bool CBRightView::IsAddressRegistered(uint32_t address) const {
  return velmora::IsAddressRegistered(List(), address);
}

void CBRightView::FillRow(int row, const CDataObject& item) {
  SetCell(row, 0, QString::number(row));
  SetCell(row, 1, QString::asprintf("0x%06X", static_cast<unsigned>(item.address)));
  if (!this->item(row, kValueColumn)) SetCell(row, kValueColumn, QString());
  SetCell(row, 3, QString::fromLatin1(ViewTypeText(item.viewType)));
}

void CBRightView::AddAddress(uint32_t address, uint8_t viewType) {
  if (address > kConsoleMaxAddress) return;
  if (IsAddressRegistered(address)) {
    control_.PrintLine(AddressRegisteredLine());
    return;
  }
  CDataObject item = MakeAddress(address, viewType);
  const int row = AppendRow();
  FillRow(row, item);
  scrollToItem(this->item(row, 0));
  List().push_back(std::move(item));
  if (!control_.addressMonitoring() && control_.PodFound())
    control_.StartMonitoring(kMonitorAddresses);
  control_.UpdateCommandUi();
}

void CBRightView::AfterRowsRemoved() {
  RenumberRows();
  if (rowCount() == 0 && control_.addressMonitoring()) control_.StopMonitoring(kMonitorAddresses);
  control_.UpdateCommandUi();
}

void CBRightView::DeleteSelectedAddresses() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) return;
  for (auto it = rows.crbegin(); it != rows.crend(); ++it) removeRow(*it);
  std::vector<size_t> items;
  for (int row : rows) items.push_back(static_cast<size_t>(row));
  DeleteRows(List(), std::move(items));
  AfterRowsRemoved();
}

void CBRightView::DeleteAddressRow(uint32_t index) {
  if (index >= static_cast<uint32_t>(rowCount())) return;
  removeRow(static_cast<int>(index));
  if (index < List().size()) List().erase(List().begin() + index);
  AfterRowsRemoved();
}

void CBRightView::DeleteAllAddresses() {
  setRowCount(0);
  if (control_.addressMonitoring()) control_.StopMonitoring(kMonitorAddresses);
  List().clear();
  control_.UpdateCommandUi();
}

void CBRightView::SetSelectedViewType(uint8_t viewType) {
  for (int row : SelectedRows()) {
    if (static_cast<size_t>(row) >= List().size()) continue;
    List()[static_cast<size_t>(row)].viewType = viewType;
    SetCell(row, 3, QString::fromLatin1(ViewTypeText(viewType)));
  }
}

void CBRightView::ChangeSelectedAddress() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) return;
  const int row = rows.first();
  if (static_cast<size_t>(row) >= List().size()) return;
  const uint8_t view = List()[static_cast<size_t>(row)].viewType;
  ChangeAddressRequest request;
  request.addressText = CellText(row, 1);
  request.viewTypeText = QString::fromLatin1(ViewTypeText(view));
  request.valueText = CellText(row, kValueColumn);
  request.viewType = view;
  // The target is the row's "Address" text read back, as shown to the user.
  bool ok = false;
  const uint32_t address = request.addressText.mid(2).toUInt(&ok, 16);
  if (!ok) return;
  const ChangeAddressHook& dialog = control_.ChangeAddressDialog();
  if (!dialog) return;
  QPointer<CBRightView> self(this);
  uint32_t word = 0;
  if (!dialog(this, request, word)) return;
  if (!self) return;
  control_.WriteWord(address, word);
}

void CBRightView::DoubleClicked() {
  if (control_.addressMonitoring()) ChangeSelectedAddress();
}

bool CBRightView::RefreshAddressValues() {
  const std::vector<CDataObject>& items = List();
  CPlotView* plot = control_.Plot();
  const bool feed = plot && plot->SeriesCount() > 0;
  const RefreshOutcome outcome =
      RefreshVisibleRows(items, static_cast<size_t>(TopRow()), static_cast<size_t>(RowsPerPage()),
                         false, control_.Port(), [&](size_t row, uint32_t word) {
                           const CDataObject& item = items[row];
                           SetCell(static_cast<int>(row), kValueColumn,
                                   QString::fromStdString(FormatTargetWord(word, item.viewType)));
                           if (feed) plot->FeedAddress(item, word);
                         });
  return outcome.ok;
}

void CBRightView::RebuildAddressRows() {
  setRowCount(0);
  const std::vector<CDataObject>& items = List();
  setRowCount(static_cast<int>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) FillRow(static_cast<int>(i), items[i]);
  if (!items.empty() && !control_.addressMonitoring() && control_.PodFound())
    control_.StartMonitoring(kMonitorAddresses);
  control_.UpdateCommandUi();
}

void CBRightView::PlotSelectedItems() {
  control_.PlotAddresses(SelectedRows());
}

QMenu* CBRightView::BuildContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("BRightList"));
  const bool live = rowCount() > 0 && control_.PodFound();
  const bool selected = live && !SelectedRows().isEmpty();
  QAction* toggle =
      AddCommand(menu, cmd::kAddressMonitoring,
                 control_.addressMonitoring() ? QStringLiteral("Stop Address Monitoring")
                                              : QStringLiteral("Start Address Monitoring"),
                 live);
  connect(toggle, &QAction::triggered, this, [this] { control_.ToggleAddressMonitoring(); });
  menu->addSeparator();
  QAction* change =
      AddCommand(menu, cmd::kChangeAddressData, QStringLiteral("Change Address Data..."), selected);
  connect(change, &QAction::triggered, this, &CBRightView::ChangeSelectedAddress);
  QMenu* views = menu->addMenu(QStringLiteral("Data View Type"));
  views->setEnabled(selected);
  for (uint8_t v = 0; v < kViewTypeCount; ++v) {
    const ViewTypeInfo& info = ViewTypeInfoOf(v);
    QAction* a = AddCommand(views, cmd::kAddressViewFirst + v,
                            QString::fromLatin1(info.menuCaption), selected);
    a->setStatusTip(QString::fromLatin1(info.addressPrompt));
    connect(a, &QAction::triggered, this, [this, v] { SetSelectedViewType(v); });
  }
  menu->addSeparator();
  QAction* del = AddCommand(menu, cmd::kDeleteSelectedAddresses,
                            QStringLiteral("Delete Selected Items"), selected);
  connect(del, &QAction::triggered, this, &CBRightView::DeleteSelectedAddresses);
  QAction* all =
      AddCommand(menu, cmd::kDeleteAllAddresses, QStringLiteral("Delete All Items"), live);
  connect(all, &QAction::triggered, this, &CBRightView::DeleteAllAddresses);
  menu->addSeparator();
  QAction* plot = AddCommand(menu, cmd::kPlotSelectedAddresses,
                             QStringLiteral("Plot Selected Items"), !SelectedRows().isEmpty());
  connect(plot, &QAction::triggered, this, &CBRightView::PlotSelectedItems);
  return menu;
}

}  // namespace velmora
