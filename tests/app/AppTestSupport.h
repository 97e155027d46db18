// The application tests' prompter, bench, pod backend and COFF programs.
#pragma once

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>
#include <numeric>

#include "app/SarvoApp.h"
#include "c3x/Assembler.h"
#include "config/qt/QSettingsStore.h"
#include "image/CoffWriter.h"
#include "podlink/FtdiBackends.h"
#include "podlink/support/FakePod.h"
#include "shell/MonitorControl.h"

namespace velmora::test {

// Messages are recorded as "kind: text" (kind stop, inform or question).
class ScriptedPrompter : public AppPrompter {
 public:
  QStringList shown;
  QList<bool> answers;                     // Yes/No answers in order; Yes when none is left
  QStringList openNames, saveNames;        // file dialog answers in order; Cancel when none is left
  std::function<int(QDialog&)> runDialog;  // modal runs; Cancel when unset
  std::function<void()> onShown;           // called once a message is recorded
  QString lastDirectory;
  int dialogsRun = 0;

  void Stop(QWidget*, const QString& text) override { Record("stop: " + text); }
  void Inform(QWidget*, const QString& text) override { Record("inform: " + text); }
  bool AskYesNo(QWidget*, const QString& text) override {
    Record("question: " + text);
    return answers.isEmpty() ? true : answers.takeFirst();
  }
  QString OpenFileName(QWidget*, const QString& dir, const QString&) override {
    lastDirectory = dir;
    return openNames.isEmpty() ? QString() : openNames.takeFirst();
  }
  QString SaveFileName(QWidget*, const QString& dir, const QString&, const QString&) override {
    lastDirectory = dir;
    return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
  }
  int RunDialog(QDialog& dialog) override {
    ++dialogsRun;
    return runDialog ? runDialog(dialog) : QDialog::Rejected;
  }

 private:
  void Record(const QString& line) {
    shown << line;
    if (onShown) onShown();
  }
};

// A C3x program for the given DSP type's internal RAM with the symbols
// counter (int) and table (float array of 3), one .text section of `words`
// counting words and a .data section of 4, written as COFF.
struct TestProgram {
  uint32_t address = 0x809800;  // TMS320C31 and TMS320C33 internal RAM
  uint32_t words = 16;
  std::vector<std::string> extraSymbols;

  bool Write(const QString& path) const {
    CoffWriterSection text, data;
    text.name = ".text";
    text.physicalAddress = text.virtualAddress = address;
    text.data.resize(words);
    std::iota(text.data.begin(), text.data.end(), 0x11110000u);
    data.name = ".data";
    data.physicalAddress = data.virtualAddress = address + words;
    data.data = {0, 0, 0, 0};
    data.flags = 0x40;
    std::vector<CoffWriterSymbol> symbols(2 + extraSymbols.size());
    for (size_t k = 0; k < symbols.size(); ++k) {
      CoffWriterSymbol& s = symbols[k];
      s.name = k == 0 ? "counter" : k == 1 ? "table" : extraSymbols[k - 2];
      // counter, table's three words, then the extra integers
      s.value = address + words + static_cast<uint32_t>(k == 0 ? 0 : k == 1 ? 1 : k + 2);
      s.sectionNumber = 2;
      s.type = k == 1 ? 0x36 : 4;  // array of float, or int
    }
    symbols[1].hasAux = true;
    symbols[1].dims = {3, 0, 0, 0};
    return WriteCoffFile(QFile::encodeName(path).toStdString(), {}, {text, data}, symbols);
  }
};

// The responder test program (answers reads and writes; its counter word at
// 0x809A00 starts at 0x1234), assembled into `outPath`.
inline bool AssembleResponder(const QString& outPath) {
  std::vector<std::string> errors;
  const std::string source = std::string(VELMORA_SOURCE_DIR) + "/tests/app/data/responder_c31.asm";
  return c3x::AssembleFile(source, QFile::encodeName(outPath).toStdString(), errors);
}

// The scripted pod of the pod-link tests as the backend "app-fake", on a
// virtual clock, for tests that need exact pod behaviour (programs that use it
// link tests/podlink/support/FakePod.cpp).
class FakePodBackend {
 public:
  FakePodBackend() : pod(std::make_unique<FakePod>(clock)) {
    Current() = this;
    RegisterFtdiBackend("app-fake", [](const FtdiBackendOptions&, std::string& error) {
      if (!Current()) error = "no fake pod";
      return Current() ? std::make_unique<FtdiApiProxy>(*Current()->pod) : nullptr;
    });
  }
  ~FakePodBackend() { Current() = nullptr; }

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  std::unique_ptr<FakePod> pod;

 private:
  static FakePodBackend*& Current() {
    static FakePodBackend* current = nullptr;
    return current;
  }
};

// The application on a settings file and a virtual board folder of its own.
class AppBench {
 public:
  AppBench() {
    QVERIFY(dir.isValid());
    // Calibrated already, so start-up does not spend a measurement.
    Ini().WriteInt(kSectionMain, kKeyMicroTimeLength, 1);
    Ini().WriteInt(kSectionMain, kKeyMcuType, kTMS320C31);
  }
  ~AppBench() { Stop(); }

  QString Path(const QString& name) const { return dir.filePath(name); }
  QString SettingsFile() const { return Path(QStringLiteral("settings.ini")); }

  // Settings written before start (and read after Stop).
  QSettingsStore& Ini() {
    if (!ini_)
      ini_ = std::make_unique<QSettingsStore>(QFile::encodeName(SettingsFile()).toStdString());
    return *ini_;
  }
  void ReopenIni() { ini_.reset(); }

  StartupOptions SimOptions() const {
    StartupOptions o;
    o.podBackend = "sim";
    o.backendOptions.simDir = QFile::encodeName(Path(QStringLiteral("board"))).toStdString();
    o.settingsFile = SettingsFile();
    return o;
  }

  // Starts the application; the settings file is handed over to it.
  bool Start(StartupOptions options, AppServices services = {}) {
    if (ini_) ini_->Sync();
    ini_.reset();
    if (!services.prompter) services.prompter = &prompter;
    app = std::make_unique<CSarvoApp>(std::move(options), services);
    return app->InitInstance();
  }
  bool StartSim() { return Start(SimOptions()); }
  bool StartOn(FakePodBackend& fake) {
    StartupOptions o;
    o.podBackend = "app-fake";
    o.settingsFile = SettingsFile();
    AppServices s;
    s.clock = &fake.clock;
    s.delayer = &fake.delayer;
    return Start(o, s);
  }

  // Writes `program` as `name` and loads it; the path, or empty on failure.
  QString Load(const TestProgram& program = {}, const QString& name = "prog.out") {
    const QString path = Path(name);
    return program.Write(path) && app->LoadCoffFile(path) == 0 ? path : QString();
  }

  bool LoadResponder() {
    const QString path = Path("responder.out");
    return AssembleResponder(path) && app->LoadCoffFile(path) == 0;
  }

  // Closes the window as the user would and runs the exit step.
  void Stop() {
    if (!app) return;
    if (app->Frame() && app->Frame()->isVisible()) app->Frame()->close();
    app->ExitInstance();
    app.reset();
  }

  QTemporaryDir dir;
  ScriptedPrompter prompter;
  std::unique_ptr<CSarvoApp> app;

 private:
  std::unique_ptr<QSettingsStore> ini_;
};

}  // namespace velmora::test
