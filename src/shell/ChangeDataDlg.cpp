#include "shell/ChangeDataDlg.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "monitoring/ValueFormats.h"
#include "shell/MessageBoxTitle.h"

namespace velmora {

namespace {

QString IdName(int id) {
  return QStringLiteral("ctl%1").arg(id);
}

}  // namespace

CChangeDataDlgBase::CChangeDataDlgBase(QWidget* parent, uint8_t viewType, uint32_t binaryLimit,
                                       const char* emptyText, const char* notBinaryText)
    : QDialog(parent),
      viewType_(viewType),
      binaryLimit_(binaryLimit),
      emptyText_(emptyText),
      notBinaryText_(notBinaryText) {
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(QFont(QStringLiteral("Arial"), 9));
  grid_ = new QGridLayout;
  grid_->setColumnStretch(1, 1);
  grid_->setHorizontalSpacing(10);
}

QLabel* CChangeDataDlgBase::AddField(const char* caption, const QString& text, int id) {
  const int row = grid_->rowCount();
  grid_->addWidget(new QLabel(QString::fromLatin1(caption), this), row, 0);
  auto* field = new QLabel(text, this);
  field->setObjectName(IdName(id));
  field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  field->setTextInteractionFlags(Qt::TextSelectableByMouse);
  field->setMinimumWidth(180);
  grid_->addWidget(field, row, 1);
  return field;
}

void CChangeDataDlgBase::AddValueRow(const QString& text, int id) {
  const int row = grid_->rowCount();
  grid_->addWidget(new QLabel(QStringLiteral("Value"), this), row, 0);
  value_ = new QLineEdit(text, this);
  value_->setObjectName(IdName(id));
  grid_->addWidget(value_, row, 1);
}

void CChangeDataDlgBase::FinishLayout() {
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setAutoDefault(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(grid_, 1);
  layout->addSpacing(8);
  layout->addLayout(buttons);
}

void CChangeDataDlgBase::SetInformHandler(ChangeDlgInform inform) {
  inform_ = std::move(inform);
}

QString CChangeDataDlgBase::ValueText() const {
  return value_->text();
}

void CChangeDataDlgBase::Inform(const QString& text) {
  if (inform_) {
    inform_(this, text);
    return;
  }
  QMessageBox::information(this, MessageBoxTitle(), text);
}

void CChangeDataDlgBase::accept() {
  // The text is taken as typed; the value rules decide what it means.
  const QByteArray text = value_->text().toLatin1();
  const EnteredValue entered =
      ParseEnteredValue(std::string_view(text.constData(), static_cast<size_t>(text.size())),
                        viewType_, binaryLimit_);
  switch (entered.rejection) {
    case EntryRejection::EmptyText:
      Inform(QString::fromLatin1(emptyText_));
      return;
    case EntryRejection::NotBinary:
      Inform(QString::fromLatin1(notBinaryText_));
      return;
    case EntryRejection::None:
      break;
  }
  result_ = entered.word;
  QDialog::accept();
}

void CChangeDataDlgBase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Typing replaces the old value.
  value_->setFocus(Qt::OtherFocusReason);
  value_->selectAll();
}

// ---------------------------------------------------------------------------

CChangeSymbolDlg::CChangeSymbolDlg(const ChangeSymbolRequest& request, QWidget* parent)
    : CChangeDataDlgBase(parent, request.viewType,
                         BinaryInputLimit(static_cast<uint8_t>(request.typeCode & 0x0F)),
                         kEmptyText, kNotBinaryText) {
  setObjectName(QStringLiteral("ChangeSymbolDlg"));
  setWindowTitle(QString::fromLatin1(kCaption));
  AddField("Symbol Name", request.name, 1035);
  AddField("Symbol Address", request.addressText, 1036);
  AddField("Data", request.dataTypeText, 1037);
  AddValueRow(request.valueText, 1038);
  FinishLayout();
}

CChangeAddressDlg::CChangeAddressDlg(const ChangeAddressRequest& request, QWidget* parent)
    : CChangeDataDlgBase(parent, request.viewType, 32, kEmptyText, kNotBinaryText) {
  setObjectName(QStringLiteral("ChangeAddressDlg"));
  setWindowTitle(QString::fromLatin1(kCaption));
  AddField("Address", request.addressText, 1039);
  AddField("View Type", request.viewTypeText, 1040);
  AddValueRow(request.valueText, 1041);
  FinishLayout();
}

bool RunChangeSymbolDlg(QWidget* parent, const ChangeSymbolRequest& request, uint32_t& word) {
  CChangeSymbolDlg dlg(request, parent);
  if (dlg.exec() != QDialog::Accepted) return false;
  word = dlg.ResultWord();
  return true;
}

bool RunChangeAddressDlg(QWidget* parent, const ChangeAddressRequest& request, uint32_t& word) {
  CChangeAddressDlg dlg(request, parent);
  if (dlg.exec() != QDialog::Accepted) return false;
  word = dlg.ResultWord();
  return true;
}

}  // namespace velmora
