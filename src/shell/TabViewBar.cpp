#include "shell/TabViewBar.h"

#include <QContextMenuEvent>
#include <QMainWindow>
#include <QTabWidget>

#include "shell/MessageWnd.h"

namespace velmora {

namespace {
const char* const kPageTitles[CTabViewBar::kPageCount] = {"Message", "Section", "Command"};
}

QRect CTabViewBar::DefaultRect(const QRect& parentClient) {
  const int right = parentClient.left() + parentClient.width();
  const int bottom = parentClient.top() + parentClient.height();
  return QRect(QPoint(right - right / 4, bottom - bottom / 6), QPoint(right - 1, bottom - 1));
}

CTabViewBar::CTabViewBar(const QString& title, QWidget* parent) : QDockWidget(title, parent) {
  setObjectName(QStringLiteral("OutputBar"));
  setAllowedAreas(Qt::AllDockWidgetAreas);
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);
  tabs_ = new QTabWidget(this);
  tabs_->setTabPosition(QTabWidget::South);
  tabs_->setDocumentMode(true);
  messageWnd_ = new CMessageWnd(tabs_);
  tabs_->addTab(messageWnd_, QString::fromLatin1(kPageTitles[kMessagePage]));
  for (int i = kSectionPage; i < kPageCount; ++i)
    tabs_->addTab(new QWidget(tabs_), QString::fromLatin1(kPageTitles[i]));
  tabs_->setCurrentIndex(kMessagePage);
  // The bar may be made as low as its tabs; the pages scroll.
  for (int i = 0; i < kPageCount; ++i) tabs_->widget(i)->setMinimumSize(1, 1);
  setWidget(tabs_);
}

void CTabViewBar::SetInitialRect(const QRect& rect) {
  initialSize_ = rect.size();
  dockedHorizontalSize_ = initialSize_;
}

void CTabViewBar::SetActivePage(int index) {
  if (index >= 0 && index < tabs_->count()) tabs_->setCurrentIndex(index);
}

int CTabViewBar::ActivePage() const {
  return tabs_->currentIndex();
}

QWidget* CTabViewBar::Page(int index) const {
  return tabs_->widget(index);
}

void CTabViewBar::SetPage(int index, QWidget* page) {
  if (index < 0 || index >= tabs_->count() || !page) return;
  QWidget* old = tabs_->widget(index);
  if (old == page) return;
  const int active = tabs_->currentIndex();
  tabs_->removeTab(index);
  tabs_->insertTab(index, page, QString::fromLatin1(kPageTitles[index]));
  if (page->minimumSize().isNull()) page->setMinimumSize(1, 1);
  tabs_->setCurrentIndex(active);
  if (old == messageWnd_) messageWnd_ = qobject_cast<CMessageWnd*>(page);
  if (old) old->deleteLater();
}

void CTabViewBar::contextMenuEvent(QContextMenuEvent* event) {
  // A right click on the bar does nothing (no docking menu of the frame).
  event->accept();
}

bool CTabViewBar::DockedHorizontally() const {
  if (isFloating()) return false;
  auto* frame = qobject_cast<QMainWindow*>(parentWidget());
  if (!frame) return false;
  const Qt::DockWidgetArea area = frame->dockWidgetArea(const_cast<CTabViewBar*>(this));
  return area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea;
}

void CTabViewBar::resizeEvent(QResizeEvent* event) {
  QDockWidget::resizeEvent(event);
  if (isVisible() && DockedHorizontally()) dockedHorizontalSize_ = size();
}

}  // namespace velmora
