#include "shell/ConfigDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "podlink/PodLink.h"
#include "podlink/ProcedureTexts.h"
#include "shell/MessageBoxTitle.h"

namespace velmora {

namespace {

QString IdName(int id) {
  return QStringLiteral("ctl%1").arg(id);
}

template <size_t N>
QComboBox* MakeList(QWidget* parent, int id, const std::array<const char*, N>& items) {
  auto* box = new QComboBox(parent);
  box->setObjectName(IdName(id));
  for (const char* item : items) box->addItem(QString::fromLatin1(item));
  return box;
}

QComboBox* MakeList(QWidget* parent, int id, std::initializer_list<const char*> items) {
  auto* box = new QComboBox(parent);
  box->setObjectName(IdName(id));
  for (const char* item : items) box->addItem(QString::fromLatin1(item));
  return box;
}

QLineEdit* MakeRegisterEdit(QWidget* parent, int id) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(IdName(id));
  edit->setMaxLength(8);
  const QFontMetrics fm(edit->font());
  edit->setMinimumWidth(fm.horizontalAdvance(QStringLiteral("00000000")) + 16);
  return edit;
}

QString Hex8(uint32_t value) {
  return QString::asprintf("%08X", value);
}

int Clamp(int index, int maximum) {
  return std::clamp(index, 0, maximum);
}

}  // namespace

CConfigDlg::CConfigDlg(AppSettings& settings, CPodLink* link, bool podFound, QWidget* parent)
    : QDialog(parent), settings_(settings), link_(link), podFound_(podFound) {
  setObjectName(QStringLiteral("ConfigDlg"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
  Build();
  Initialise();
}

void CConfigDlg::Build() {
  // General: DSP type and the two monitoring times. The "Scan Time" list is
  // the monitoring period and the "Monitoring Interval Time" list the pause
  // after each pod word; their captions and stored names cross on purpose.
  auto* general = new QGroupBox(QStringLiteral("Target and Monitoring"), this);
  auto* generalForm = new QFormLayout(general);
  auto* dsp = MakeList(this, kDspType, {kDspNames[0], kDspNames[1], kDspNames[2]});
  generalForm->addRow(QStringLiteral("DSP Type"), dsp);
  generalForm->addRow(QStringLiteral("Scan Time"),
                      MakeList(this, kScanTime, kMonitoringPeriodCaptions));
  generalForm->addRow(QStringLiteral("Monitoring Interval Time"),
                      MakeList(this, kMonitoringInterval, kTransferPauseCaptions));

  auto* reset = new QGroupBox(QStringLiteral("Target Board Reset Setting"), this);
  auto* resetForm = new QFormLayout(reset);
  resetForm->addRow(QStringLiteral("Polarity"), MakeList(this, kPolarity, kResetPolarityCaptions));
  resetForm->addRow(QStringLiteral("Reset Time"), MakeList(this, kResetTime, kResetPulseCaptions));
  resetForm->addRow(QStringLiteral("Delay Time After Reset"),
                    MakeList(this, kDelayAfterReset, kDelayAfterResetCaptions));

  auto* boot = new QGroupBox(QStringLiteral(" ROM Boot Type "), this);
  auto* bootLayout = new QVBoxLayout(boot);
  bootGroup_ = new QButtonGroup(this);
  bootGroup_->setExclusive(true);
  for (int k = 0; k < 3; ++k) {
    auto* radio = new QRadioButton(boot);
    radio->setObjectName(IdName(kBoot1 + k));
    bootGroup_->addButton(radio, k);
    bootLayout->addWidget(radio);
  }
  auto* flashRow = new QHBoxLayout;
  flashRow->addWidget(new QLabel(QStringLiteral("Flash Type"), boot));
  flashRow->addWidget(MakeList(this, kFlashType,
                               {kFlashNames[0], kFlashNames[1], kFlashNames[2], kFlashNames[3],
                                kFlashNames[4], kFlashNames[5]}),
                      1);
  bootLayout->addLayout(flashRow);
  // The CRC-32 of the flash, computed by the loader, decides a verify when it
  // matches; only a mismatch costs the word-by-word comparison.
  auto* quick = new QCheckBox(QStringLiteral("Quick verify"), boot);
  quick->setObjectName(IdName(kQuickVerify));
  quick->setToolTip(QStringLiteral(
      "Compare a checksum of the flash first; read it word by word only when it differs"));
  bootLayout->addWidget(quick);

  auto* registers =
      new QGroupBox(QStringLiteral("External Memory Interface  Register Value Setting"), this);
  auto* regGrid = new QGridLayout(registers);
  const struct {
    const char* label;
    int id;
  } regs[] = {{"Primary-Bus Register (Hex) :", kPrimaryBus},
              {"IOSTRB       Register (Hex) :", kIostrb},
              {"STRB0         Register (Hex) :", kStrb0},
              {"STRB1         Register (Hex) :", kStrb1}};
  for (int k = 0; k < 4; ++k) {
    regGrid->addWidget(new QLabel(QString::fromLatin1(regs[k].label), registers), k, 0);
    regGrid->addWidget(MakeRegisterEdit(registers, regs[k].id), k, 1);
  }
  auto* defaults = new QPushButton(QStringLiteral("Defalut Setting"), registers);
  defaults->setObjectName(IdName(kDefaultSetting));
  defaults->setAutoDefault(false);
  regGrid->addWidget(defaults, 4, 1);
  regGrid->setColumnStretch(0, 1);

  auto* firmware = new QGroupBox(QStringLiteral("Velmora-UT Firmware Version"), this);
  auto* fwLayout = new QGridLayout(firmware);
  auto* version = new QLineEdit(firmware);
  version->setObjectName(IdName(kFirmwareVersion));
  version->setReadOnly(true);
  auto* check = new QPushButton(QStringLiteral("Version Check"), firmware);
  check->setObjectName(IdName(kVersionCheck));
  check->setAutoDefault(false);
  note_ = new QLabel(firmware);
  note_->setObjectName(IdName(kUpgradeNote));
  QPalette notePalette = note_->palette();
  notePalette.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
  note_->setPalette(notePalette);
  fwLayout->addWidget(version, 0, 0);
  fwLayout->addWidget(check, 0, 1);
  fwLayout->addWidget(note_, 1, 0, 1, 2);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("ctl1"));
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("ctl2"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(general);
  left->addWidget(reset);
  left->addWidget(boot);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(registers);
  right->addWidget(firmware);
  right->addStretch(1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(buttons);

  connect(dsp, &QComboBox::currentIndexChanged, this, &CConfigDlg::OnDspTypeChanged);
  connect(defaults, &QPushButton::clicked, this, &CConfigDlg::OnDefaultSetting);
  connect(check, &QPushButton::clicked, this, &CConfigDlg::OnVersionCheck);
}

void CConfigDlg::Initialise() {
  const AppSettings& s = settings_;
  // A stored index outside a list selects nothing, as the list would.
  auto select = [this](int id, int index) {
    QComboBox* box = Combo(id);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
  };
  select(kScanTime, s.dataIntervalTime);
  select(kMonitoringInterval, s.dataScanTime);
  select(kPolarity, s.resetPolarity != 0 ? 1 : 0);
  select(kResetTime, s.resetTime);
  select(kDelayAfterReset, s.delayTimeAfterReset);
  {
    const QSignalBlocker block(Combo(kDspType));
    select(kDspType, s.dspType);
  }
  select(kFlashType, s.flashType);

  if (s.bootType <= 2) bootGroup_->button(s.bootType)->setChecked(true);
  CheckBox(kQuickVerify)->setChecked(s.quickVerify);
  Edit(kPrimaryBus)->setText(Hex8(s.primaryBus));
  Edit(kIostrb)->setText(Hex8(s.iostrb));
  Edit(kStrb0)->setText(Hex8(s.strb0));
  Edit(kStrb1)->setText(Hex8(s.strb1));
  ApplyDspType(s.dspType);

  const uint8_t version = link_ ? link_->FirmwareVersion() : kUnknownFirmwareVersion;
  if (version < kFirmwareWithResetParameters) {
    Combo(kPolarity)->setEnabled(false);
    Combo(kResetTime)->setEnabled(false);
    Button(kVersionCheck)->setEnabled(false);
    note_->setText(QString::fromLatin1(kUpgradeNoteText));
  }
}

void CConfigDlg::ApplyDspType(int dspType) {
  const uint8_t dsp = static_cast<uint8_t>(std::clamp(dspType, 0, 2));
  for (int k = 0; k < 3; ++k)
    bootGroup_->button(k)->setText(
        QString::fromLatin1(BootRadioCaption(static_cast<uint8_t>(k), dsp)));
  const bool c32 = dsp == kTMS320C32;
  Edit(kPrimaryBus)->setEnabled(!c32);
  Edit(kIostrb)->setEnabled(c32);
  Edit(kStrb0)->setEnabled(c32);
  Edit(kStrb1)->setEnabled(c32);
}

void CConfigDlg::OnDspTypeChanged(int index) {
  ApplyDspType(index);
}

void CConfigDlg::OnDefaultSetting() {
  Edit(kPrimaryBus)->setText(Hex8(kDefaultPrimaryBus));
  Edit(kIostrb)->setText(Hex8(kDefaultIostrb));
  Edit(kStrb0)->setText(Hex8(kDefaultStrb0));
  Edit(kStrb1)->setText(Hex8(kDefaultStrb1));
}

void CConfigDlg::OnVersionCheck() {
  if (!podFound_ || !link_) {
    Inform(QString::fromLatin1(kNotConnectedText));
    return;
  }
  if (!link_->IsOpen() && !link_->Open()) {
    Inform(QString::fromLatin1(kFailedToGetHandleText));
    return;
  }
  link_->ReadFirmwareVersion();
  const uint8_t v = link_->FirmwareVersion();
  Edit(kFirmwareVersion)->setText(QStringLiteral("Version : %1.%2").arg(v >> 4).arg(v & 0x0F));
}

void CConfigDlg::accept() {
  AppSettings& s = settings_;
  s.dspType = static_cast<uint8_t>(Clamp(Combo(kDspType)->currentIndex(), 2));
  s.flashType = static_cast<uint8_t>(Clamp(Combo(kFlashType)->currentIndex(), 5));
  s.dataIntervalTime = Clamp(Combo(kScanTime)->currentIndex(), 15);
  s.dataScanTime = Clamp(Combo(kMonitoringInterval)->currentIndex(), 13);
  s.resetPolarity = Combo(kPolarity)->currentIndex() > 0 ? 1 : 0;
  s.resetTime = Clamp(Combo(kResetTime)->currentIndex(), 9);
  s.delayTimeAfterReset = Clamp(Combo(kDelayAfterReset)->currentIndex(), 9);
  // With no radio checked the stored boot type stays (held to the three modes).
  const int boot = bootGroup_->checkedId();
  s.bootType = static_cast<uint8_t>(boot >= 0 ? boot : std::min<int>(s.bootType, 2));
  auto reg = [this](int id, uint32_t fallback) {
    return ParseRegisterText(Edit(id)->text().toStdString(), fallback);
  };
  s.primaryBus = reg(kPrimaryBus, kDefaultPrimaryBus);
  s.iostrb = reg(kIostrb, kDefaultIostrb);
  s.strb0 = reg(kStrb0, kDefaultStrb0);
  s.strb1 = reg(kStrb1, kDefaultStrb1);
  s.quickVerify = CheckBox(kQuickVerify)->isChecked();
  QDialog::accept();
}

void CConfigDlg::Inform(const QString& text) {
  if (inform_) {
    inform_(this, text);
    return;
  }
  QMessageBox::information(this, MessageBoxTitle(), text);
}

QWidget* CConfigDlg::Control(int id) const {
  return findChild<QWidget*>(IdName(id));
}
QComboBox* CConfigDlg::Combo(int id) const {
  return findChild<QComboBox*>(IdName(id));
}
QLineEdit* CConfigDlg::Edit(int id) const {
  return findChild<QLineEdit*>(IdName(id));
}
QRadioButton* CConfigDlg::Radio(int id) const {
  return findChild<QRadioButton*>(IdName(id));
}
QPushButton* CConfigDlg::Button(int id) const {
  return findChild<QPushButton*>(IdName(id));
}
QCheckBox* CConfigDlg::CheckBox(int id) const {
  return findChild<QCheckBox*>(IdName(id));
}
QString CConfigDlg::NoteText() const {
  return note_->text();
}

}  // namespace velmora
