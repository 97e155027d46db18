// velmora: the desktop application.
#include <QApplication>
#include <QProcessEnvironment>
#include <cstdio>
#include <cstring>

#include "app/SarvoApp.h"
#include "app/StartupOptions.h"
#include "config/BuildInfo.h"

namespace {
void PrintVersion() {
  std::printf("Velmora UT Version %s (git %s)\n", velmora::BuildVersion(),
              velmora::BuildRevision());
}
}  // namespace

int main(int argc, char* argv[]) {
  // Help and version must work on a machine without a display, so they are
  // answered before the GUI is brought up.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(qPrintable(velmora::StartupHelpText()), stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      PrintVersion();
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora UT"));
  QApplication::setApplicationDisplayName(QStringLiteral("Velmora UT"));
  QApplication::setApplicationVersion(QString::fromLatin1(velmora::BuildVersion()));
  // Ties the windows to the installed desktop entry (its icon, its name).
  QGuiApplication::setDesktopFileName(QStringLiteral("com.kelvaro.velmora"));

  velmora::StartupOptions options;
  QString error;
  if (!velmora::ParseStartupOptions(QApplication::arguments().mid(1),
                                    QProcessEnvironment::systemEnvironment(), options, &error)) {
    std::fprintf(stderr, "velmora: %s\n%s", qPrintable(error),
                 qPrintable(velmora::StartupHelpText()));
    return 2;
  }
  if (options.help) {
    std::fputs(qPrintable(velmora::StartupHelpText()), stdout);
    return 0;
  }
  if (options.version) {
    PrintVersion();
    return 0;
  }

  velmora::AppServices services;
  services.instanceName = velmora::InstanceNameFor(options);
  velmora::CSarvoApp sarvo(options, services);
  // A second instance, or a main window that could not be built, ends here.
  if (!sarvo.InitInstance()) return 0;
  const int rc = app.exec();
  sarvo.ExitInstance();
  return rc;
}
