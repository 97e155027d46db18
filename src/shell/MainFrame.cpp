#include "shell/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "shell/Commands.h"
#include "shell/MessageBoxTitle.h"
#include "shell/MessageWnd.h"
#include "shell/TabViewBar.h"

namespace velmora {

namespace {

constexpr int kIdleUpdateMs = 250;
constexpr QSize kToolImage(16, 16);
constexpr QSize kToolButton(21, 23);
constexpr QSize kMinimumWindow(200, 150);

struct PaneSpec {
  int id;
  const char* initialText;
  int width;
};
constexpr PaneSpec kPanes[] = {
    {pane::kDspType, "TMS320C32", 80},
    {pane::kProgramSize, "0x000000 Words", 96},
    {pane::kBootType, "BOOT1", 53},
    {pane::kMonitoringLamp, "...", 32},
};

QWidget* Placeholder(const char* name) {
  auto* w = new QWidget;
  w->setObjectName(QString::fromLatin1(name));
  w->setAutoFillBackground(true);
  w->setBackgroundRole(QPalette::Base);
  return w;
}

}  // namespace

int MonitoringModeFor(const MonitoringFlags& flags) {
  if (!flags.active) return 0;
  if (flags.variable && flags.address) return 4;
  if (flags.variable) return 1;
  if (flags.address) return 2;
  return 0;
}

void FrameHost::Inform(CMainFrame& frame, const QString& text) {
  QMessageBox::information(&frame, MessageBoxTitle(), text);
}

uint32_t ShowCmdFromState(Qt::WindowStates state) {
  if (state & Qt::WindowMinimized) return kShowMinimized;
  if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return kShowMaximized;
  return kShowNormal;
}

Qt::WindowStates StateFromShowCmd(uint32_t showCmd) {
  switch (showCmd) {
    case 2:   // shown minimised
    case 6:   // minimise
    case 7:   // minimised, not activated
    case 11:  // forced minimise
      return Qt::WindowMinimized;
    case 3:
      return Qt::WindowMaximized;
    default:
      return Qt::WindowNoState;
  }
}

QRect OutputBarRect(const QRect& client, int msgWndCX, int msgWndCY) {
  if (msgWndCX > 0 && msgWndCY > 0) {
    const int right = client.left() + client.width();
    const int bottom = client.top() + client.height();
    return QRect(QPoint(right - msgWndCX, bottom - msgWndCY), QPoint(right - 1, bottom - 1));
  }
  return CTabViewBar::DefaultRect(client);
}

QRect SanitizeNormalRect(const QRect& stored, const QList<QRect>& screens, const QSize& minimum) {
  QRect r = stored;
  if (r.width() < minimum.width()) r.setWidth(minimum.width());
  if (r.height() < minimum.height()) r.setHeight(minimum.height());
  if (screens.isEmpty()) return r;
  for (const QRect& s : screens)
    if (s.intersects(r)) return r;
  // Lost off every screen (a monitor was removed): bring it back to the first.
  r.moveCenter(screens.first().center());
  return r;
}

// ---------------------------------------------------------------------------

CMainFrame::CMainFrame(AppSettings& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings) {
  EnsureShellResources();
  setObjectName(QStringLiteral("MainFrame"));
  QIcon icon;
  for (int size : {16, 32, 64})
    icon.addFile(QStringLiteral(":/images/velmora_%1.png").arg(size), QSize(size, size));
  setWindowIcon(icon);
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

  BuildCommands();
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildOutputBar();
  BuildClientArea();
  InitStatusBar();

  idleTimer_ = new QTimer(this);
  idleTimer_->setInterval(kIdleUpdateMs);
  connect(idleTimer_, &QTimer::timeout, this, &CMainFrame::UpdateCommandUi);
  idleTimer_->start();
}

CMainFrame::~CMainFrame() {
  // Children outlive this part of the object; nothing may call back into it.
  idleTimer_->stop();
  for (QAction* action : std::as_const(commands_)) action->disconnect(this);
  host_ = &defaultHost_;
}

void CMainFrame::SetHost(FrameHost* host) {
  host_ = host ? host : &defaultHost_;
}

void CMainFrame::BuildCommands() {
  for (const CommandSpec& spec : CommandTable()) {
    auto* action = new QAction(QString::fromLatin1(spec.text), this);
    // The key text is part of the caption (after the tab), so the menu shows
    // it and Qt adds none of its own; the shortcut is the key that runs it.
    if (*spec.shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(spec.shortcut)));
    action->setStatusTip(CommandPrompt(spec.id));
    const QString tip = CommandTooltip(spec.id);
    if (!tip.isEmpty()) action->setToolTip(tip);
    action->setCheckable(spec.checkable);
    action->setIconVisibleInMenu(false);
    action->setData(spec.id);
    commands_.insert(spec.id, action);
  }
  Command(cmd::kRecentFile)->setEnabled(false);
  for (int n = 0; n < cmd::kUserToolCount; ++n) {
    QAction* tool = Command(cmd::kUserTool1 + n);
    tool->setVisible(false);
    tool->setEnabled(false);
  }
  connect(Command(cmd::kExit), &QAction::triggered, this, &QWidget::close);
  connect(Command(cmd::kViewOutputWindow), &QAction::triggered, this, [this](bool on) {
    outputBar_->setVisible(on);
    RecalcLayout();
  });
  connect(Command(cmd::kViewToolBar), &QAction::triggered, this, [this](bool on) {
    toolBar_->setVisible(on);
    RecalcLayout();
  });
  connect(Command(cmd::kViewStatusBar), &QAction::triggered, this, [this](bool on) {
    statusBar()->setVisible(on);
    RecalcLayout();
  });
}

void CMainFrame::BuildMenus() {
  for (const MenuSpec& spec : MenuBarLayout()) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(spec.title));
    for (int id : spec.items) {
      if (id == 0)
        menu->addSeparator();
      else
        menu->addAction(Command(id));
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    popups_.append(menu);
  }
}

QMenu* CMainFrame::Popup(int index) const {
  return popups_.value(index, nullptr);
}

void CMainFrame::BuildToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Tool Bar"), this);
  toolBar_->setObjectName(QStringLiteral("ToolBar"));
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  toolBar_->setMovable(true);
  toolBar_->setFloatable(true);
  toolBar_->setIconSize(kToolImage);
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const QPixmap strip(QStringLiteral(":/images/toolbar.png"));
  int image = 0;
  QAction* separator = nullptr;
  for (int id : ToolbarLayout()) {
    if (id == 0) {
      separator = toolBar_->addSeparator();
      continue;
    }
    QAction* action = Command(id);
    const int x = image++ * kToolImage.width();
    if (x + kToolImage.width() <= strip.width())
      action->setIcon(QIcon(strip.copy(QRect(QPoint(x, 0), kToolImage))));
    toolBar_->addAction(action);
    if (QWidget* button = toolBar_->widgetForAction(action)) {
      button->setFixedSize(kToolButton);
      if (auto* tb = qobject_cast<QToolButton*>(button)) tb->setAutoRaise(true);
    }
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);
  // The separator before the user-tool buttons shows only with a button.
  userToolSeparator_ = separator;
  auto updateSeparator = [this] {
    bool any = false;
    for (int n = 0; n < cmd::kUserToolCount; ++n)
      any = any || Command(cmd::kUserTool1 + n)->isVisible();
    if (userToolSeparator_) userToolSeparator_->setVisible(any);
  };
  for (int n = 0; n < cmd::kUserToolCount; ++n)
    connect(Command(cmd::kUserTool1 + n), &QAction::visibleChanged, this, updateSeparator);
  updateSeparator();
}

void CMainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  auto* ready = new QLabel(QString::fromLatin1(kReadyText), bar);
  bar->addWidget(ready, 1);
  panes_.insert(pane::kMessage, ready);
  simulatedLabel_ = new QLabel(QString::fromLatin1(kSimulatedBoardText), bar);
  simulatedLabel_->setStyleSheet(QStringLiteral("QLabel { color: #a00000; font-weight: bold; }"));
  simulatedLabel_->setVisible(false);
  bar->addPermanentWidget(simulatedLabel_);
  for (const PaneSpec& spec : kPanes) {
    auto* label = new QLabel(QString::fromLatin1(spec.initialText), bar);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ButtonText));
    label->setPalette(pal);
    bar->addPermanentWidget(label);
    panes_.insert(spec.id, label);
  }
  lampOffImage_ = QPixmap(QStringLiteral(":/images/lamp_off.png"));
  lampOnImage_ = QPixmap(QStringLiteral(":/images/lamp_on.png"));
}

void CMainFrame::BuildOutputBar() {
  outputBar_ = new CTabViewBar(QString(), this);
  addDockWidget(Qt::BottomDockWidgetArea, outputBar_);
  // The bar's actions answer their keys while it floats in its own window.
  for (QAction* action : std::as_const(commands_))
    if (!action->shortcut().isEmpty()) outputBar_->addAction(action);
  Command(cmd::kViewOutputWindow)->setChecked(true);
  Command(cmd::kViewToolBar)->setChecked(true);
  Command(cmd::kViewStatusBar)->setChecked(true);
}

void CMainFrame::BuildClientArea() {
  outer_ = new QSplitter(Qt::Horizontal, this);
  outer_->setObjectName(QStringLiteral("OuterSplitter"));
  inner_ = new QSplitter(Qt::Vertical, outer_);
  inner_->setObjectName(QStringLiteral("InnerSplitter"));
  outer_->insertWidget(0, Placeholder("SymbolPane"));
  inner_->addWidget(Placeholder("VariablePane"));
  inner_->addWidget(Placeholder("AddressPane"));
  outer_->addWidget(inner_);
  // The left column and the upper right row keep their size when the window
  // is resized; the other pane takes the difference.
  outer_->setStretchFactor(0, 0);
  outer_->setStretchFactor(1, 1);
  inner_->setStretchFactor(0, 0);
  inner_->setStretchFactor(1, 1);
  outer_->installEventFilter(this);
  inner_->installEventFilter(this);
  setCentralWidget(outer_);
}

// ---------------------------------------------------------------------------

void CMainFrame::InitStatusBar() {
  for (const PaneSpec& spec : kPanes) {
    QLabel* label = panes_.value(spec.id);
    const int textWidth =
        label->fontMetrics().horizontalAdvance(QString::fromLatin1(
            spec.id == pane::kProgramSize ? "0x000000 Words" : spec.initialText)) +
        2 * label->frameWidth() + 6;
    // Never narrower than the pane's own text in this font.
    label->setFixedWidth(std::max(spec.width, spec.id == pane::kMonitoringLamp ? 0 : textWidth));
  }
  SetStatusPane(pane::kMonitoringLamp, QString(), false);
  SetStatusPane(pane::kDspType, QString::fromLatin1(DspTypeName(settings_.dspType)));
  SetStatusPane(pane::kProgramSize, QStringLiteral("0x000000 Words"));
  SetStatusPane(pane::kBootType, QString::fromLatin1(BootTypeName(settings_.bootType)));
  host_->ResetConsoleState();
}

void CMainFrame::SetStatusPane(int paneId, const QString& text, bool lampOn) {
  QLabel* label = panes_.value(paneId, nullptr);
  if (!label) return;
  if (paneId == pane::kMonitoringLamp) {
    lampOn_ = lampOn;
    label->clear();
    label->setPixmap(lampOn ? lampOnImage_ : lampOffImage_);
    return;
  }
  label->setText(text);
  label->update();
}

QString CMainFrame::StatusPaneText(int paneId) const {
  const QLabel* label = panes_.value(paneId, nullptr);
  return label ? label->text() : QString();
}

QLabel* CMainFrame::StatusPane(int paneId) const {
  return panes_.value(paneId, nullptr);
}

void CMainFrame::SetSimulatedBoard(bool on) {
  simulated_ = on;
  simulatedLabel_->setVisible(on);
}

// ---------------------------------------------------------------------------

CMessageWnd* CMainFrame::MessageWindow() const {
  return outputBar_->MessageWindow();
}

void CMainFrame::SetActivePage(int index) {
  outputBar_->SetActivePage(index);
}

void CMainFrame::SetSectionPage(QWidget* page) {
  outputBar_->SetPage(CTabViewBar::kSectionPage, page);
}

void CMainFrame::SetCommandPage(QWidget* page) {
  outputBar_->SetPage(CTabViewBar::kCommandPage, page);
}

void CMainFrame::HandleCopyData(quint32 id, const QString& text) {
  if (id != kOutputTextTag) return;
  if (CMessageWnd* wnd = MessageWindow()) wnd->AppendText(text);
}

void CMainFrame::ReplacePane(QSplitter* splitter, int index, QWidget* pane) {
  if (!pane) return;
  QWidget* old = splitter->widget(index);
  if (old == pane) return;
  const QList<int> sizes = splitter->sizes();
  splitter->replaceWidget(index, pane);
  splitter->setStretchFactor(index, index == 0 ? 0 : 1);
  splitter->setSizes(sizes);
  if (old) old->deleteLater();
}

void CMainFrame::SetSymbolPane(QWidget* pane) {
  ReplacePane(outer_, 0, pane);
}
void CMainFrame::SetVariablePane(QWidget* pane) {
  ReplacePane(inner_, 0, pane);
}
void CMainFrame::SetAddressPane(QWidget* pane) {
  ReplacePane(inner_, 1, pane);
}
QWidget* CMainFrame::SymbolPane() const {
  return outer_->widget(0);
}
QWidget* CMainFrame::VariablePane() const {
  return inner_->widget(0);
}
QWidget* CMainFrame::AddressPane() const {
  return inner_->widget(1);
}

int CMainFrame::LeftPaneCurrentWidth() const {
  const QList<int> sizes = outer_->sizes();
  return sizes.isEmpty() ? settings_.leftPaneWidth : sizes.first();
}

// ---------------------------------------------------------------------------

void CMainFrame::UpdateCommandUi() {
  host_->UpdateCommandUi(*this);
  Command(cmd::kViewOutputWindow)->setChecked(!outputBar_->isHidden());
  Command(cmd::kViewToolBar)->setChecked(!toolBar_->isHidden());
  Command(cmd::kViewStatusBar)->setChecked(!statusBar()->isHidden());
}

QMenu* CMainFrame::createPopupMenu() {
  UpdateCommandUi();
  auto* menu = new QMenu(this);
  for (int id : {cmd::kViewOutputWindow, cmd::kViewToolBar, cmd::kViewStatusBar})
    menu->addAction(Command(id));
  return menu;
}

void CMainFrame::RecalcLayout() {
  if (layout()) layout()->invalidate();
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShow_) {
    firstShow_ = false;
    ApplyFirstShowPlacement();
  }
}

void CMainFrame::ApplyFirstShowPlacement() {
  QList<QRect> screens;
  for (QScreen* s : QGuiApplication::screens()) screens.append(s->availableGeometry());
  const QRect stored(settings_.left, settings_.top, settings_.right - settings_.left,
                     settings_.bottom - settings_.top);
  QRect normal = SanitizeNormalRect(stored, screens, kMinimumWindow);
  if (settings_.firstSetup == 0 && screen())
    normal.moveCenter(screen()->availableGeometry().center());
  setGeometry(normal);

  outerSizePending_ = innerSizePending_ = true;
  const int menuHeight = menuBar()->isVisible() ? menuBar()->sizeHint().height() : 0;
  const QRect client(0, 0, normal.width(), normal.height() - menuHeight);
  const QRect barRect = OutputBarRect(client, settings_.msgWndCX, settings_.msgWndCY);
  outputBar_->SetInitialRect(barRect);
  resizeDocks({outputBar_}, {barRect.height()}, Qt::Vertical);

  const Qt::WindowStates state = StateFromShowCmd(settings_.showCmd);
  if (state != Qt::WindowNoState) setWindowState(state);
  placed_ = true;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    // The stored pane sizes are applied once the splitters have their real
    // size; before that any size would be scaled.
    if (watched == outer_ && outerSizePending_ && outer_->width() > 0) {
      outerSizePending_ = false;
      const int left = std::max(0, settings_.leftPaneWidth);
      outer_->setSizes({left, std::max(0, outer_->width() - left - outer_->handleWidth())});
    } else if (watched == inner_ && innerSizePending_ && inner_->height() > 0) {
      innerSizePending_ = false;
      const int top = std::max(0, settings_.rightPaneHeight);
      inner_->setSizes({top, std::max(0, inner_->height() - top - inner_->handleWidth())});
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  // Monitoring pauses while the window changes size and resumes as it was.
  const int mode = MonitoringModeFor(host_->Monitoring());
  if (mode) host_->StopMonitoring(mode);
  QMainWindow::resizeEvent(event);
  if (mode) host_->StartMonitoring(mode);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  host_->ClearMonitoringActive();
  if (!host_->ClosePodLink()) host_->Inform(*this, QString::fromLatin1(kCloseFailedText));
  StoreLayout();
  QMainWindow::closeEvent(event);
}

void CMainFrame::StoreLayout() {
  if (!placed_) return;  // never shown: the record still holds what was loaded
  const Qt::WindowStates state = windowState();
  settings_.showCmd = ShowCmdFromState(state);
  const QRect normal =
      (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) ? normalGeometry() : geometry();
  if (normal.isValid()) {
    settings_.left = normal.x();
    settings_.top = normal.y();
    settings_.right = normal.x() + normal.width();
    settings_.bottom = normal.y() + normal.height();
  }
  if (!outerSizePending_) settings_.leftPaneWidth = outer_->sizes().value(0);
  if (!innerSizePending_) settings_.rightPaneHeight = inner_->sizes().value(0);
  const QSize bar = outputBar_->DockedHorizontalSize();
  if (bar.width() > 0 && bar.height() > 0) {
    settings_.msgWndCX = bar.width();
    settings_.msgWndCY = bar.height();
  }
}

}  // namespace velmora
