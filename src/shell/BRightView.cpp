#include "shell/BRightView.h"

#include <QPointer>

#include "image/ProgramImage.h"
#include "monitoring/ValueFormats.h"
#include "monitoring/WatchLists.h"
#include "shell/Commands.h"
#include "shell/MonitorControl.h"

namespace velmora {

namespace {

constexpr MonitorPaneSpec kAddressPane = {kMonitorAddresses,
                                          "BRightList",
                                          cmd::kAddressMonitoring,
                                          "Stop Address Monitoring",
                                          "Start Address Monitoring",
                                          cmd::kChangeAddressData,
                                          "Change Address Data...",
                                          cmd::kAddressViewFirst,
                                          cmd::kDeleteSelectedAddresses,
                                          cmd::kDeleteAllAddresses,
                                          cmd::kPlotSelectedAddresses};

}  // namespace

CBRightView::CBRightView(CMonitorControl& control, SettingsStore& store, QWidget* parent)
    : CMonitorListView(control, store, kColumns, kAddressPane, parent) {
  setObjectName(QStringLiteral("AddressPane"));
}

std::vector<CDataObject>& CBRightView::Items() const {
  return control_.Program().addresses;
}

bool CBRightView::IsAddressRegistered(uint32_t address) const {
  return velmora::IsAddressRegistered(Items(), address);
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
  AppendItem(MakeAddress(address, viewType));
}

void CBRightView::ChangeSelectedAddress() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) return;
  const int row = rows.first();
  if (static_cast<size_t>(row) >= Items().size()) return;
  const uint8_t view = Items()[static_cast<size_t>(row)].viewType;
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

}  // namespace velmora
