// The two small dialogs in which the user types a new value for a watched
// variable or address. They turn the text into one target word and hand it
// back; the pane that opened them writes it to the target.
//
// The monitoring panes call RunChangeSymbolDlg / RunChangeAddressDlg (the
// ChangeSymbolHook / ChangeAddressHook of CMonitorControl).
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

#include "shell/MonitorControl.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// Shows a rejection of the typed text (information icon); tests replace it.
using ChangeDlgInform = std::function<void(QWidget* dialog, const QString& text)>;

class CChangeDataDlgBase : public QDialog {
  Q_OBJECT

 public:
  void SetInformHandler(ChangeDlgInform inform);
  uint32_t ResultWord() const { return result_; }
  QLineEdit* ValueEdit() const { return value_; }
  QPushButton* OkButton() const { return ok_; }
  QString ValueText() const;

 protected:
  CChangeDataDlgBase(QWidget* parent, uint8_t viewType, uint32_t binaryLimit, const char* emptyText,
                     const char* notBinaryText);
  // Adds a caption and a bordered text to the form.
  QLabel* AddField(const char* caption, const QString& text, int id);
  void AddValueRow(const QString& text, int id);
  void FinishLayout();

  void accept() override;
  void showEvent(QShowEvent* event) override;

 private:
  void Inform(const QString& text);

  uint8_t viewType_;
  uint32_t binaryLimit_;
  const char* emptyText_;
  const char* notBinaryText_;
  uint32_t result_ = 0;
  QLineEdit* value_ = nullptr;
  QPushButton* ok_ = nullptr;
  QGridLayout* grid_ = nullptr;
  ChangeDlgInform inform_;
};

// Dialog 137, "Change symbol data".
class CChangeSymbolDlg : public CChangeDataDlgBase {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 137;
  static constexpr const char* kCaption = "Change symbol data";
  static constexpr const char* kEmptyText = "Input Data";
  static constexpr const char* kNotBinaryText = "Input Binary Data Type value";

  explicit CChangeSymbolDlg(const ChangeSymbolRequest& request, QWidget* parent = nullptr);
};

// Dialog 138, "Change data select address".
class CChangeAddressDlg : public CChangeDataDlgBase {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 138;
  static constexpr const char* kCaption = "Change data select address";
  static constexpr const char* kEmptyText = "Please, Specify address data";
  static constexpr const char* kNotBinaryText =
      "Please, specify address data by binary data format";

  explicit CChangeAddressDlg(const ChangeAddressRequest& request, QWidget* parent = nullptr);
};

// Modal runs for the panes: true with the word on OK, false on Cancel.
bool RunChangeSymbolDlg(QWidget* parent, const ChangeSymbolRequest& request, uint32_t& word);
bool RunChangeAddressDlg(QWidget* parent, const ChangeAddressRequest& request, uint32_t& word);

}  // namespace velmora
