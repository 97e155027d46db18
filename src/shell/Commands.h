// The main window's command table: ids, menu captions with their key texts,
// the keys that run them, status prompts and tooltips, and the menu and
// toolbar layouts.
//
// A caption's key text (after the tab) is what the menu shows; the shortcut is
// the key that runs the command. They differ on purpose for three flash
// commands ("Rom Boot && Verify" shows F4 but runs on F6, "Rom Verify" shows
// F5 and runs on F4, "Rom Read" shows F6 and runs on F5): users and scripts
// know both.
#pragma once

#include <QString>
#include <span>

namespace velmora {

namespace cmd {
// File
inline constexpr int kOpenCoffFile = 57601;
inline constexpr int kReloadCoffFile = 32778;
inline constexpr int kOpenSymbolFile = 32779;
inline constexpr int kSaveSymbolFile = 32780;
inline constexpr int kRecentFile = 57616;
inline constexpr int kExit = 57665;
// Action
inline constexpr int kSerialBoot = 32801;
inline constexpr int kSerialBootVerify = 32802;
inline constexpr int kRomBoot = 32805;
inline constexpr int kRomBootVerify = 32804;
inline constexpr int kRomVerify = 32806;
inline constexpr int kRomRead = 32807;
inline constexpr int kTargetReset = 32803;
inline constexpr int kVariableMonitoring = 32783;
inline constexpr int kAddressMonitoring = 32792;
// Configure
inline constexpr int kConfiguration = 32808;
// View (each id is also the id of the bar it shows or hides)
inline constexpr int kViewOutputWindow = 32771;
inline constexpr int kViewToolBar = 59392;
inline constexpr int kViewStatusBar = 59393;
// Tool
inline constexpr int kRegisterUserTools = 32772;
inline constexpr int kUserTool1 = 32773;  // slot n is kUserTool1 + n, up to 32777
inline constexpr int kUserToolCount = 5;
// Help
inline constexpr int kAbout = 57664;
}  // namespace cmd

// Status bar pane ids (string-table ids of their initial texts); 0 is the
// message pane.
namespace pane {
inline constexpr int kMessage = 0;
inline constexpr int kDspType = 61204;
inline constexpr int kProgramSize = 61205;
inline constexpr int kBootType = 61206;
inline constexpr int kMonitoringLamp = 61207;
}  // namespace pane

struct CommandSpec {
  int id;
  const char* text;      // menu text: "&" marks the mnemonic, "&&" is an "&", "\t" the key text
  const char* shortcut;  // key that runs the command (portable QKeySequence text), "" for none
  const char* prompt;    // status prompt, then "\n" and the tooltip when there is one
  bool checkable;
};

// Every command of the menu bar and the toolbar.
std::span<const CommandSpec> CommandTable();
const CommandSpec* FindCommand(int id);

// Parts of a command's strings; empty for unknown ids.
QString CommandPrompt(int id);   // status pane 0 text while highlighted
QString CommandTooltip(int id);  // "&&" shown as "&", as tooltips show it
QString MenuCaption(int id);     // menu text before the tab
QString MenuKeyText(int id);     // menu text after the tab

// Menu bar layout: popup titles and their items (0 = separator).
struct MenuSpec {
  const char* title;
  std::span<const int> items;
};
std::span<const MenuSpec> MenuBarLayout();

// Toolbar buttons in order (0 = separator); image i of the toolbar strip
// belongs to the i-th non-separator entry.
std::span<const int> ToolbarLayout();

// Registers the compiled-in pictures (toolbar, lamps, animation, icons) with
// Qt's resource system; safe to call any number of times.
void EnsureShellResources();

}  // namespace velmora
