#include "app/Prompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "shell/MessageBoxTitle.h"

namespace velmora {

void AppPrompter::Stop(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, MessageBoxTitle(), text);
}

void AppPrompter::Inform(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, MessageBoxTitle(), text);
}

bool AppPrompter::AskYesNo(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, MessageBoxTitle(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString AppPrompter::OpenFileName(QWidget* parent, const QString& directory,
                                  const QString& filter) {
  QFileDialog dialog(parent, QString(), directory, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString AppPrompter::SaveFileName(QWidget* parent, const QString& directory, const QString& filter,
                                  const QString& suffix) {
  QFileDialog dialog(parent, QString(), directory, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(suffix);
  // The dialog itself asks before an existing file is replaced.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

int AppPrompter::RunDialog(QDialog& dialog) {
  return dialog.exec();
}

}  // namespace velmora
