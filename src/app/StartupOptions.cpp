#include "app/StartupOptions.h"

namespace velmora {

namespace {

const char* const kValueOptions[] = {"--pod", "--pod-library", "--sim-dir", "--settings"};

bool TakesValue(const QString& name) {
  for (const char* o : kValueOptions)
    if (name == QLatin1String(o)) return true;
  return false;
}

}  // namespace

bool ParseStartupOptions(const QStringList& args, const QProcessEnvironment& env,
                         StartupOptions& options, QString* error) {
  auto fail = [&](const QString& text) {
    if (error) *error = text;
    return false;
  };
  const QString envPod = env.value(QString::fromLatin1(kPodBackendEnv));
  if (!envPod.isEmpty()) options.podBackend = envPod.toStdString();
  const QString envSettings = env.value(QString::fromLatin1(kSettingsEnv));
  if (!envSettings.isEmpty()) options.settingsFile = envSettings;

  bool onlyFiles = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (onlyFiles || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
      if (!options.coffFile.isEmpty())
        return fail(QStringLiteral("only one COFF file can be opened"));
      options.coffFile = a;
      continue;
    }
    if (a == QLatin1String("--")) {
      onlyFiles = true;
      continue;
    }
    if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
      options.help = true;
      continue;
    }
    if (a == QLatin1String("--version")) {
      options.version = true;
      continue;
    }
    if (a.startsWith(QLatin1String("--sim-")) && !a.startsWith(QLatin1String("--sim-dir"))) {
      // Virtual board settings pass through: --sim-KEY=VALUE, or --sim-KEY for 1.
      const qsizetype eq = a.indexOf(QLatin1Char('='));
      const QString key = a.mid(6, eq < 0 ? -1 : eq - 6);
      if (key.isEmpty())
        return fail(QStringLiteral("option %1 names no virtual board setting").arg(a));
      options.backendOptions.values[key.toStdString()] =
          eq < 0 ? std::string("1") : a.mid(eq + 1).toStdString();
      continue;
    }
    const qsizetype eq = a.indexOf(QLatin1Char('='));
    const QString name = a.left(eq < 0 ? a.size() : eq);
    if (!TakesValue(name)) return fail(QStringLiteral("unknown option %1").arg(a));
    QString value;
    if (eq >= 0) {
      value = a.mid(eq + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return fail(QStringLiteral("option %1 needs a value").arg(name));
    }
    if (name == QLatin1String("--pod")) {
      if (value.isEmpty())
        return fail(QStringLiteral("option --pod needs a backend name (ftdi, d2xx or sim)"));
      options.podBackend = value.toStdString();
    } else if (name == QLatin1String("--pod-library")) {
      options.backendOptions.values["library"] = value.toStdString();
    } else if (name == QLatin1String("--sim-dir")) {
      options.backendOptions.simDir = value.toStdString();
    } else if (name == QLatin1String("--settings")) {
      if (value.isEmpty()) return fail(QStringLiteral("option --settings needs a file name"));
      options.settingsFile = value;
    }
  }
  return true;
}

QString StartupHelpText() {
  return QStringLiteral(
      "Usage: velmora [options] [FILE.out]\n"
      "Velmora UT for TMS320C3X: loads a TI COFF file and serial-boots, flashes and\n"
      "monitors the target board through the USB pod.\n\n"
      "  --pod=NAME          pod backend: ftdi (libftdi1, the default), d2xx (FTDI's\n"
      "                      D2XX library) or sim (the virtual board); also VELMORA_POD\n"
      "  --pod-library=FILE  the libftdi1 or D2XX library to load instead of the system's\n"
      "  --sim-dir=DIR       the virtual board's state folder\n"
      "  --sim-KEY=VALUE     a virtual board setting (dsp, flash, boot, firmware, ...)\n"
      "  --settings=FILE     keep the settings in this INI file instead of the user's\n"
      "                      settings; also VELMORA_SETTINGS\n"
      "  --version           print the version and end\n"
      "  -h, --help          print this help and end\n");
}

}  // namespace velmora
