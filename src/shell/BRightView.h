// Lower right pane: the address watch list. Raw target addresses enter it from
// the console and from .sym files; it is refreshed by the same tick as the
// variable list.
#pragma once

#include "shell/TRightView.h"

namespace velmora {

class CBRightView : public CMonitorListView {
  Q_OBJECT

 public:
  static constexpr MonitorColumn kColumns[] = {
      {"Index", 55, "BR Column0 Width"},
      {"Address", 100, "BR Column1 Width"},
      {"Monitor Value", 90, "BR Column2 Width"},
      {"View Type", 100, "BR Column3 Width"},
  };

  CBRightView(CMonitorControl& control, SettingsStore& store, QWidget* parent = nullptr);

  bool IsAddressRegistered(uint32_t address) const;
  // From the console: ignored beyond 0xFFFFFF, notice when already listed.
  void AddAddress(uint32_t address, uint8_t viewType);
  void ChangeSelectedAddress();

 protected:
  std::vector<CDataObject>& Items() const override;
  void FillRow(int row, const CDataObject& item) override;
  void ChangeSelected() override { ChangeSelectedAddress(); }
};

}  // namespace velmora
