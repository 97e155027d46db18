#include "shell/UserToolDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

// The icons live in a static library; pull its resources in explicitly.
static void InitUserToolResources() {
  Q_INIT_RESOURCE(usertools);
}

namespace velmora {

namespace {

QToolButton* MakeIconButton(QWidget* parent, int id, int iconId, const QString& tip) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QStringLiteral("ctl%1").arg(id));
  b->setIcon(QIcon(QStringLiteral(":/usertools/icon%1.png").arg(iconId)));
  b->setIconSize(QSize(16, 16));
  b->setToolTip(tip);
  b->setAutoRaise(false);
  return b;
}

QPushButton* MakeBrowseButton(QWidget* parent, int id) {
  auto* b = new QPushButton(QStringLiteral("...."), parent);
  b->setObjectName(QStringLiteral("ctl%1").arg(id));
  b->setAutoDefault(false);
  b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 20);
  return b;
}

}  // namespace

CUserToolDlg::CUserToolDlg(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  InitUserToolResources();
  setWindowTitle(QStringLiteral("User Tool Configuration"));
  setObjectName(QStringLiteral("dlg%1").arg(kDialogId));

  auto* top = new QVBoxLayout(this);
  auto* head = new QHBoxLayout;
  head->addWidget(new QLabel(QStringLiteral("User Tool List"), this));
  head->addStretch(1);
  add_ = MakeIconButton(this, kIdAdd, 148, QStringLiteral("Add"));
  replace_ = MakeIconButton(this, kIdReplace, 144, QStringLiteral("Replace"));
  delete_ = MakeIconButton(this, kIdDelete, 145, QStringLiteral("Delete"));
  up_ = MakeIconButton(this, kIdUp, 147, QStringLiteral("Up"));
  down_ = MakeIconButton(this, kIdDown, 146, QStringLiteral("Down"));
  for (QToolButton* b : {add_, replace_, delete_, up_, down_}) head->addWidget(b);
  top->addLayout(head);

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("ctl%1").arg(kIdList));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSortingEnabled(false);
  top->addWidget(list_);

  auto* grid = new QGridLayout;
  command_ = new QLineEdit(this);
  command_->setObjectName(QStringLiteral("ctl%1").arg(kIdCommand));
  workDir_ = new QLineEdit(this);
  workDir_->setObjectName(QStringLiteral("ctl%1").arg(kIdWorkDir));
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("ctl%1").arg(kIdName));
  auto* browseProgram = MakeBrowseButton(this, kIdBrowseProgram);
  auto* browseFolder = MakeBrowseButton(this, kIdBrowseFolder);
  grid->addWidget(new QLabel(QStringLiteral("Command line"), this), 0, 0);
  grid->addWidget(command_, 0, 1);
  grid->addWidget(browseProgram, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Work Directory"), this), 1, 0);
  grid->addWidget(workDir_, 1, 1);
  grid->addWidget(browseFolder, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("User Tool Name"), this), 2, 0);
  grid->addWidget(name_, 2, 1);
  top->addLayout(grid);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  top->addWidget(buttons);
  resize(460, 360);

  connect(add_, &QToolButton::clicked, this, &CUserToolDlg::OnAdd);
  connect(replace_, &QToolButton::clicked, this, &CUserToolDlg::OnReplace);
  connect(delete_, &QToolButton::clicked, this, &CUserToolDlg::OnDelete);
  connect(up_, &QToolButton::clicked, this, &CUserToolDlg::OnUp);
  connect(down_, &QToolButton::clicked, this, &CUserToolDlg::OnDown);
  connect(browseProgram, &QPushButton::clicked, this, &CUserToolDlg::OnBrowseProgram);
  connect(browseFolder, &QPushButton::clicked, this, &CUserToolDlg::OnBrowseFolder);
  connect(list_, &QListWidget::currentRowChanged, this, &CUserToolDlg::OnRowChanged);
  // A click on the row that is already selected (the last one, when the
  // dialog opens) must fill the fields too.
  connect(list_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { OnRowChanged(list_->row(item)); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  initDir_ = ReadUserMenuInitDir(store_);
  tools_ = LoadUserToolTable(store_);
  for (const UserToolEntry& e : tools_) list_->addItem(e.name);
  // The last tool is selected; the fields stay empty until the user picks one.
  if (!tools_.empty()) SelectRow(static_cast<int>(tools_.size()) - 1);
}

QToolButton* CUserToolDlg::Button(ControlId id) const {
  switch (id) {
    case kIdAdd:
      return add_;
    case kIdReplace:
      return replace_;
    case kIdDelete:
      return delete_;
    case kIdUp:
      return up_;
    case kIdDown:
      return down_;
    default:
      return nullptr;
  }
}

int CUserToolDlg::SelectedRow() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->row(selected.front());
}

void CUserToolDlg::SelectRow(int row) {
  selectingByProgram_ = true;
  list_->setCurrentRow(row);
  selectingByProgram_ = false;
}

void CUserToolDlg::SelectRowByUser(int row) {
  list_->setCurrentRow(row);
  OnRowChanged(row);
}

void CUserToolDlg::OnRowChanged(int row) {
  if (selectingByProgram_ || row < 0 || row >= static_cast<int>(tools_.size())) return;
  const UserToolEntry& e = tools_[static_cast<size_t>(row)];
  if (e.command.isEmpty()) return;
  command_->setText(e.command);
  workDir_->setText(e.workDir);
  name_->setText(e.name);
}

void CUserToolDlg::Inform(const QString& text) {
  QMessageBox::information(this, windowTitle(), text);
}

QString CUserToolDlg::AskProgramFile(const QString& startDir) {
  QString filter = QStringLiteral("Executable File (.exe;.com;.bat) (*.exe *.com *.bat)");
#ifndef Q_OS_WIN
  // Programs and scripts here rarely carry those extensions.
  filter += QStringLiteral(";;All Files (*)");
#endif
  return QFileDialog::getOpenFileName(this, QString(), startDir, filter, nullptr,
                                      QFileDialog::ReadOnly);
}

QString CUserToolDlg::AskFolder(const QString& startDir) {
  return QFileDialog::getExistingDirectory(this, QStringLiteral("Work Directory :"), startDir,
                                           QFileDialog::ShowDirsOnly);
}

std::optional<UserToolEntry> CUserToolDlg::ValidateToolInput(bool checkDuplicate) {
  UserToolEntry e;
  e.command = command_->text().trimmed();
  if (e.command.isEmpty()) return std::nullopt;
  if (!ExtractProgramPath(e.command, nullptr)) {
    Inform(QStringLiteral("The file path input of command line is wrong"));
    return std::nullopt;
  }
  e.workDir = workDir_->text().trimmed();
  if (!e.workDir.isEmpty() && !QFileInfo(e.workDir).isDir()) {
    Inform(QStringLiteral("The Work directory input is wrong"));
    return std::nullopt;
  }
  e.name = name_->text().trimmed();
  if (e.name.isEmpty()) {
    e.name = DeriveToolName(e.command);
    name_->setText(e.name);
  }
  if (checkDuplicate) {
    for (const UserToolEntry& other : tools_) {
      if (other.name == e.name) {
        Inform(QStringLiteral("User tool name is already registered"));
        return std::nullopt;
      }
    }
  }
  return e;
}

void CUserToolDlg::OnAdd() {
  if (list_->count() >= kUserToolSlots) {
    Inform(QStringLiteral("Support 5 user tools"));
    return;
  }
  const std::optional<UserToolEntry> e = ValidateToolInput(true);
  if (!e) return;
  tools_.push_back(*e);
  list_->addItem(e->name);
  SelectRow(list_->count() - 1);
}

void CUserToolDlg::OnReplace() {
  if (list_->count() == 0) return;
  const int row = SelectedRow();
  if (row < 0 || row >= kUserToolSlots) {
    Inform(QStringLiteral("Select an user tool to replace"));
    return;
  }
  const std::optional<UserToolEntry> e = ValidateToolInput(false);
  if (!e) return;
  tools_[static_cast<size_t>(row)] = *e;
  list_->item(row)->setText(e->name);
  SelectRow(row);
}

void CUserToolDlg::OnDelete() {
  if (list_->count() == 0) return;
  const int row = SelectedRow();
  if (row < 0) {
    Inform(QStringLiteral("Select an user tool to delete"));
    return;
  }
  selectingByProgram_ = true;
  delete list_->takeItem(row);
  selectingByProgram_ = false;
  tools_.erase(tools_.begin() + row);
  if (list_->count() > 0)
    SelectRow(std::min(row, list_->count() - 1));
  else
    list_->clearSelection();
}

void CUserToolDlg::SwapRows(int a, int b) {
  std::swap(tools_[static_cast<size_t>(a)], tools_[static_cast<size_t>(b)]);
  list_->item(a)->setText(tools_[static_cast<size_t>(a)].name);
  list_->item(b)->setText(tools_[static_cast<size_t>(b)].name);
}

void CUserToolDlg::OnUp() {
  const int row = SelectedRow();
  if (list_->count() < 2 || row <= 0) return;
  SwapRows(row, row - 1);
  SelectRow(row - 1);
}

void CUserToolDlg::OnDown() {
  const int row = SelectedRow();
  if (list_->count() < 2 || row < 0 || row >= list_->count() - 1) return;
  SwapRows(row, row + 1);
  SelectRow(row + 1);
}

void CUserToolDlg::OnBrowseProgram() {
  const QString chosen = AskProgramFile(initDir_);
  if (chosen.isEmpty()) return;
  const QString path = QDir::toNativeSeparators(chosen);
  // A blank in the path would end the program path; quote it so the line
  // is read back as one program.
  command_->setText(path.contains(u' ') ? u'"' + path + u'"' : path);
  initDir_ = QDir::toNativeSeparators(QFileInfo(chosen).absolutePath());
  workDir_->setText(initDir_);
  name_->setText(FileNameStem(chosen));
}

void CUserToolDlg::OnBrowseFolder() {
  const QString chosen = AskFolder(initDir_);
  if (chosen.isEmpty()) return;
  initDir_ = QDir::toNativeSeparators(chosen);
  workDir_->setText(initDir_);
}

void CUserToolDlg::done(int result) {
  if (result == QDialog::Accepted) {
    SaveUserToolTable(store_, tools_);
  }
  // The browse start folder is kept whichever way the dialog closes.
  WriteUserMenuInitDir(store_, initDir_);
  store_.Sync();
  QDialog::done(result);
}

}  // namespace velmora
