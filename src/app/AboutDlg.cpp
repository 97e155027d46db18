#include "app/AboutDlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Commands.h"

namespace velmora {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  EnsureShellResources();
  setObjectName(QStringLiteral("AboutDlg"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("AboutIcon"));
  icon->setPixmap(QPixmap(QStringLiteral(":/images/velmora_32.png")));
  auto* text = new QLabel(QString::fromLatin1(kVersionText), this);
  text->setObjectName(QStringLiteral("AboutText"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addSpacing(12);
  row->addWidget(text, 1, Qt::AlignVCenter);
  row->addSpacing(12);
  row->addWidget(ok, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  setFixedSize(sizeHint());
}

}  // namespace velmora
