#include "shell/Commands.h"

#include <QtGlobal>
#include <array>

// Resources live in a static library: nothing would pull them into the
// program unless something names their initialiser.
static void InitVelmoraResources() {
  Q_INIT_RESOURCE(velmora);
}

namespace velmora {

namespace {

using namespace cmd;

constexpr CommandSpec kCommands[] = {
    {kOpenCoffFile, "Open COFF File(&O)...\tCtrl+O", "Ctrl+O", "Open a COFF file\nOpen COFF File",
     false},
    {kReloadCoffFile, "Reload COFF File(&R)\tShift+R", "Shift+R",
     "Reload the COFF file\nReload COFF File", false},
    {kOpenSymbolFile, "Open Symbol File(&O)...\tShift+O", "Shift+O",
     "Open a symbol file\nOpen Symbol File", false},
    {kSaveSymbolFile, "Save Symbol File(&S)...\tShift+S", "Shift+S",
     "Save the watch lists to a symbol file\nSave Symbol File", false},
    {kRecentFile, "Recent File", "", "Open this file", false},
    {kExit, "Exit(&X)", "", "Quit the application\nExit", false},

    {kSerialBoot, "Serial Boot\tF1", "F1",
     "Download user program to target board by serial boot \nSerial Boot", false},
    {kSerialBootVerify, "Serial Boot && Verify\tF2", "F2",
     "Verify user program after serial booting\nSerial Boot && Verify", false},
    {kRomBoot, "Rom Boot\tF3", "F3", "Download user program to flash rom\nFlash Write", false},
    {kRomBootVerify, "Rom Boot && Verify\tF4", "F6",
     "Verify user program after downloading to flash rom\nFlash Write && Verify", false},
    {kRomVerify, "Rom Verify\tF5", "F4", "Verify user program with flash rom data\nFlash Verify",
     false},
    {kRomRead, "Rom Read\tF6", "F5", "Read data in flash rom\nFlash Read", false},
    {kTargetReset, "Target Reset\tCtrl+R", "Ctrl+R", "Reset target borad\nTarget Reset", false},
    {kVariableMonitoring, "Start/Stop Variable Monitoring\tCtrl+V", "Ctrl+V",
     "Start or stop variable data monitoring\nVariable Monitoring", true},
    {kAddressMonitoring, "Start/Stop Address Monitoring\tCtrl+A", "Ctrl+A",
     "Start or stop address data monitoring\nAddress Monitoring", true},

    {kConfiguration, "Configuration...\tCtrl+C", "Ctrl+C",
     "Configure program environment\nConfiguration", false},

    {kViewOutputWindow, "Output Window(&W)", "", "Show or hide the output window\nOutput Window",
     true},
    {kViewToolBar, "Tool Bar(&T)", "", "Show or hide the toolbar\nToggle ToolBar", true},
    {kViewStatusBar, "Status Bar(&S)", "", "Show or hide the status bar\nToggle StatusBar", true},

    {kRegisterUserTools, "Register User Tools...\tShift+C", "Shift+C",
     "Register user tools\nRegister User Tools", false},
    {kUserTool1 + 0, "", "", "Register User Tools1", false},
    {kUserTool1 + 1, "", "", "Register User Tools2", false},
    {kUserTool1 + 2, "", "", "Register User Tools3", false},
    {kUserTool1 + 3, "", "", "Register User Tools4", false},
    {kUserTool1 + 4, "", "", "Register User Tools5", false},

    {kAbout, "About Velmora UT...", "", "Display program information and version\nAbout", false},
};

constexpr int kFileItems[] = {
    kOpenCoffFile, kReloadCoffFile, 0, kOpenSymbolFile, kSaveSymbolFile, 0, kRecentFile, 0, kExit};
constexpr int kActionItems[] = {
    kSerialBoot,         kSerialBootVerify, 0, kRomBoot,     kRomBootVerify,
    kRomVerify,          kRomRead,          0, kTargetReset, 0,
    kVariableMonitoring, kAddressMonitoring};
constexpr int kConfigureItems[] = {kConfiguration};
constexpr int kViewItems[] = {kViewOutputWindow, kViewToolBar, kViewStatusBar};
constexpr int kToolItems[] = {kRegisterUserTools, 0};
constexpr int kHelpItems[] = {kAbout};

constexpr MenuSpec kMenus[] = {
    {"File(&F)", kFileItems}, {"Action(&A)", kActionItems}, {"Configure(&C)", kConfigureItems},
    {"View(&V)", kViewItems}, {"Tool(&T)", kToolItems},     {"Help(&H)", kHelpItems},
};

constexpr int kToolbar[] = {kOpenCoffFile,
                            kReloadCoffFile,
                            kOpenSymbolFile,
                            kSaveSymbolFile,
                            0,
                            kVariableMonitoring,
                            kAddressMonitoring,
                            kTargetReset,
                            0,
                            kRomBoot,
                            kRomBootVerify,
                            kRomRead,
                            kSerialBoot,
                            kSerialBootVerify,
                            0,
                            kConfiguration,
                            kRegisterUserTools,
                            kAbout,
                            0,
                            kUserTool1,
                            kUserTool1 + 1,
                            kUserTool1 + 2,
                            kUserTool1 + 3,
                            kUserTool1 + 4};

QString Before(const char* s, char sep) {
  const QString text = QString::fromLatin1(s);
  const qsizetype at = text.indexOf(QLatin1Char(sep));
  return at < 0 ? text : text.left(at);
}

QString After(const char* s, char sep) {
  const QString text = QString::fromLatin1(s);
  const qsizetype at = text.indexOf(QLatin1Char(sep));
  return at < 0 ? QString() : text.mid(at + 1);
}

}  // namespace

std::span<const CommandSpec> CommandTable() {
  return kCommands;
}

const CommandSpec* FindCommand(int id) {
  for (const CommandSpec& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

QString CommandPrompt(int id) {
  const CommandSpec* c = FindCommand(id);
  return c ? Before(c->prompt, '\n') : QString();
}

QString CommandTooltip(int id) {
  const CommandSpec* c = FindCommand(id);
  if (!c) return QString();
  QString tip = After(c->prompt, '\n');
  tip.replace(QStringLiteral("&&"), QStringLiteral("&"));
  return tip;
}

QString MenuCaption(int id) {
  const CommandSpec* c = FindCommand(id);
  return c ? Before(c->text, '\t') : QString();
}

QString MenuKeyText(int id) {
  const CommandSpec* c = FindCommand(id);
  return c ? After(c->text, '\t') : QString();
}

std::span<const MenuSpec> MenuBarLayout() {
  return kMenus;
}

std::span<const int> ToolbarLayout() {
  return kToolbar;
}

void EnsureShellResources() {
  static const bool done = (InitVelmoraResources(), true);
  (void)done;
}

}  // namespace velmora
