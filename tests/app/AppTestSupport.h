// What the application tests share: a prompter that answers instead of the
// user, a bench that starts the application on its own settings file and
// virtual board folder, and COFF programs written for the occasion.
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
#include "config/qt/QSettingsStore.h"
#include "image/CoffWriter.h"
#include "shell/MonitorControl.h"

namespace velmora::test {

class ScriptedPrompter : public AppPrompter {
 public:
  struct Shown {
    QString kind;  // "stop", "inform", "question"
    QString text;
  };
  QList<Shown> shown;
  QList<bool> answers;                     // Yes/No answers in order; Yes when none is left
  QStringList openNames;                   // file-open answers in order; Cancel when none is left
  QStringList saveNames;                   // file-save answers
  std::function<int(QDialog&)> runDialog;  // modal runs; Cancel when unset
  // Called when a message is shown (after it was recorded).
  std::function<void(const Shown&)> onShown;

  void Stop(QWidget*, const QString& text) override { Record("stop", text); }
  void Inform(QWidget*, const QString& text) override { Record("inform", text); }
  bool AskYesNo(QWidget*, const QString& text) override {
    Record("question", text);
    return answers.isEmpty() ? true : answers.takeFirst();
  }
  QString OpenFileName(QWidget*, const QString& dir, const QString& filter) override {
    lastDirectory = dir;
    lastFilter = filter;
    return openNames.isEmpty() ? QString() : openNames.takeFirst();
  }
  QString SaveFileName(QWidget*, const QString& dir, const QString& filter,
                       const QString& suffix) override {
    lastDirectory = dir;
    lastFilter = filter;
    lastSuffix = suffix;
    return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
  }
  int RunDialog(QDialog& dialog) override {
    ++dialogsRun;
    return runDialog ? runDialog(dialog) : QDialog::Rejected;
  }

  QStringList Texts() const {
    QStringList out;
    for (const Shown& s : shown) out << s.text;
    return out;
  }
  QStringList Kinds() const {
    QStringList out;
    for (const Shown& s : shown) out << s.kind;
    return out;
  }
  void Clear() { shown.clear(); }

  QString lastDirectory, lastFilter, lastSuffix;
  int dialogsRun = 0;

 private:
  void Record(const char* kind, const QString& text) {
    shown.append({QString::fromLatin1(kind), text});
    if (onShown) onShown(shown.back());
  }
};

// A C3x program for the given DSP type's internal RAM with the symbols
// counter (int) and table (float array of 3), one .text section of `words`
// counting words, written as COFF.
struct TestProgram {
  uint32_t address = 0x809800;  // TMS320C31 and TMS320C33 internal RAM
  uint32_t words = 16;
  uint32_t seed = 0x11110000;
  std::vector<std::string> extraSymbols;

  std::vector<uint32_t> Data() const {
    std::vector<uint32_t> data(words);
    std::iota(data.begin(), data.end(), seed);
    return data;
  }

  bool Write(const QString& path) const {
    CoffWriterSection text;
    text.name = ".text";
    text.physicalAddress = text.virtualAddress = address;
    text.data = Data();
    CoffWriterSection data;
    data.name = ".data";
    data.physicalAddress = data.virtualAddress = address + words;
    data.data = {0, 0, 0, 0};
    data.flags = 0x40;
    std::vector<CoffWriterSymbol> symbols;
    CoffWriterSymbol counter;
    counter.name = "counter";
    counter.value = address + words;
    counter.sectionNumber = 2;
    counter.type = 4;  // int
    symbols.push_back(counter);
    CoffWriterSymbol table;
    table.name = "table";
    table.value = address + words + 1;
    table.sectionNumber = 2;
    table.type = 0x36;  // array of float
    table.hasAux = true;
    table.dims = {3, 0, 0, 0};
    symbols.push_back(table);
    uint32_t a = address + words + 4;
    for (const std::string& name : extraSymbols) {
      CoffWriterSymbol s;
      s.name = name;
      s.value = a++;
      s.sectionNumber = 2;
      s.type = 4;
      symbols.push_back(s);
    }
    return WriteCoffFile(QFile::encodeName(path).toStdString(), {}, {text, data}, symbols);
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
  QString SimDir() const { return Path(QStringLiteral("board")); }

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
    o.backendOptions.simDir = QFile::encodeName(SimDir()).toStdString();
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
