// The output bar: a dockable, sizeable bar whose whole area is a tab container
// with the pages "Message", "Section" and "Command".
#pragma once

#include <QDockWidget>
#include <QRect>
#include <QSize>

class QTabWidget;

namespace velmora {

class CMessageWnd;

class CTabViewBar : public QDockWidget {
  Q_OBJECT

 public:
  static constexpr int kControlId = 32771;
  static constexpr int kMessagePage = 0;
  static constexpr int kSectionPage = 1;
  static constexpr int kCommandPage = 2;
  static constexpr int kPageCount = 3;

  // The bar's rectangle when none is given: the lower-right quarter-wide,
  // sixth-high corner of the parent's client area.
  static QRect DefaultRect(const QRect& parentClient);

  // The message window is created here; the Section and Command pages start
  // as empty placeholders until SetPage supplies them.
  explicit CTabViewBar(const QString& title, QWidget* parent = nullptr);

  // The size the bar starts with (from its initial rectangle).
  void SetInitialRect(const QRect& rect);
  QSize InitialSize() const { return initialSize_; }

  // Makes page `index` (0 Message, 1 Section, 2 Command) the visible one.
  void SetActivePage(int index);
  int ActivePage() const;
  // Puts `page` in place of page `index` (the bar takes ownership); the
  // active page stays active.
  void SetPage(int index, QWidget* page);
  QWidget* Page(int index) const;
  CMessageWnd* MessageWindow() const { return messageWnd_; }
  QTabWidget* Tabs() const { return tabs_; }

  // Last size while docked on the top or bottom edge (the initial size until
  // the bar has been docked there).
  QSize DockedHorizontalSize() const { return dockedHorizontalSize_; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool DockedHorizontally() const;

  QTabWidget* tabs_ = nullptr;
  CMessageWnd* messageWnd_ = nullptr;
  QSize initialSize_;
  QSize dockedHorizontalSize_;
};

}  // namespace velmora
