#include "PodOptions.h"
#include <CLI/CLI.hpp>

#include "config/qt/QSettingsStore.h"

// The virtual board's backend, when the build has one (see FtdiBackends.h).
#if __has_include("sim/SimBackend.h")
#include "sim/SimBackend.h"
#define VELMORA_HAVE_SIM_BACKEND 1
#endif

namespace velmora::cli {

namespace {

constexpr const char* kGroup = "Pod and target options (before or after the command)";

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

}  // namespace

void AddPodOptions(CLI::App& app, PodOptionValues& v) {
#ifdef VELMORA_HAVE_SIM_BACKEND
  static const bool simRegistered = (velmora::sim::RegisterSimBackend(), true);
  (void)simRegistered;
#endif
  auto add = [&](const char* name, auto& field, const char* text, const char* description) {
    return app.add_option(name, field, description)->option_text(text)->group(kGroup);
  };
  add("--pod", v.pod, "NAME",
      "pod backend: ftdi (libftdi1, the default), d2xx (FTDI's D2XX library) or sim (the "
      "virtual board); also VELMORA_POD")
      ->envname(kPodBackendEnv)
      ->check(CLI::Validator(
          [](std::string& name) -> std::string {
            if (FtdiBackendRegistered(name)) return {};
            return "unknown pod backend '" + name + "'; use " + JoinNames(FtdiBackendNames());
          },
          [] {
            std::string list;
            for (const std::string& n : FtdiBackendNames()) list += (list.empty() ? "" : "|") + n;
            return list;
          }(),
          "choices"));
  add("--pod-library", v.podLibrary, "FILE",
      "the libftdi1 or D2XX library to load instead of the system's");
  add("--sim-dir", v.simDir, "DIR", "the virtual board's state folder");
  // Only for the help: TakeSimBoardOptions consumes every --sim-KEY first.
  app.add_flag("--sim-KEY")
      ->description(
          "a virtual board setting, passed through (dsp, flash, boot, firmware, mhz, ...)")
      ->option_text("=VALUE")
      ->group(kGroup);
  add("--settings", v.settings, "FILE",
      "read the settings from this INI file instead of the user's; also VELMORA_SETTINGS")
      ->envname("VELMORA_SETTINGS");
  add("--dsp", v.dsp, "c31|c32|c33", "DSP type")
      ->transform(Choice(
          {"c31", "c32", "c33"},
          {{"tms320c31", 0}, {"tms320c32", 1}, {"tms320c33", 2}, {"0", 0}, {"1", 1}, {"2", 2}}));
  add("--flash", v.flash, "TYPE",
      "flash chip: am29f010, am29f040, hy29f040a, at29c010a, at29c020 or at29c040a")
      ->transform(
          Choice({"am29f010", "am29f040", "hy29f040a", "at29c010a", "at29c020", "at29c040a"}));
  add("--boot", v.boot, "1|2|3", "boot type (Boot1, Boot2, Boot3)")
      ->transform(Choice({"1", "2", "3"}, {{"boot1", 0}, {"boot2", 1}, {"boot3", 2}}));
  add("--scan-us", v.scanUs, "N", "transfer pause after each monitor word, 1 to 10000 microseconds")
      ->check(CLI::Range(1u, 10000u));
  add("--bus", v.bus, "HEX", "primary bus control (TMS320C31, TMS320C33)")->transform(HexNumber());
  add("--iostrb", v.iostrb, "HEX", "IOSTRB bus control (TMS320C32)")->transform(HexNumber());
  add("--strb0", v.strb0, "HEX", "STRB0 bus control (TMS320C32)")->transform(HexNumber());
  add("--strb1", v.strb1, "HEX", "STRB1 bus control (TMS320C32)")->transform(HexNumber());
}

bool TakeSimBoardOptions(std::vector<std::string>& args, std::map<std::string, std::string>& sim,
                         std::string& error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {  // what follows are arguments, not options
      rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
      break;
    }
    if (a.rfind("--sim-", 0) != 0 || a == "--sim-dir" || a.rfind("--sim-dir=", 0) == 0) {
      rest.push_back(a);
      continue;
    }
    const size_t eq = a.find('=');
    const std::string key = a.substr(6, eq == std::string::npos ? std::string::npos : eq - 6);
    if (key.empty()) {
      error = "option " + a + " names no virtual board setting";
      return false;
    }
    sim[key] = eq == std::string::npos ? "1" : a.substr(eq + 1);
  }
  args = std::move(rest);
  return true;
}

std::unique_ptr<SettingsStore> OpenSettingsStore(const std::string& settingsFile) {
  if (!settingsFile.empty()) return std::make_unique<QSettingsStore>(settingsFile);
  return std::make_unique<QSettingsStore>();
}

DerivedTransferSettings PodOptions::Derived() const {
  DerivedTransferSettings d = Derive(settings);
  if (transferPauseUs) d.transferPauseUs = *transferPauseUs;
  return d;
}

PodOptions ResolvePodOptions(const PodOptionValues& given, SettingsStore* store) {
  PodOptions o;
  o.backend = given.pod.empty() ? std::string(kDefaultPodBackend) : given.pod;
  o.backendOptions.simDir = given.simDir;
  o.backendOptions.values = given.sim;
  if (!given.podLibrary.empty()) o.backendOptions.values["library"] = given.podLibrary;
  std::unique_ptr<SettingsStore> owned;
  if (!store) {
    owned = OpenSettingsStore(given.settings);
    store = owned.get();
  }
  LoadSettings(*store, o.settings);
  AppSettings& s = o.settings;
  if (given.dsp) s.dspType = static_cast<uint8_t>(*given.dsp);
  if (given.flash) s.flashType = static_cast<uint8_t>(*given.flash);
  if (given.boot) s.bootType = static_cast<uint8_t>(*given.boot);
  if (given.bus) s.primaryBus = *given.bus;
  if (given.iostrb) s.iostrb = *given.iostrb;
  if (given.strb0) s.strb0 = *given.strb0;
  if (given.strb1) s.strb1 = *given.strb1;
  o.transferPauseUs = given.scanUs;
  // The virtual board learns what the host is set up for: a new board folder
  // starts as that board. A folder that already holds a board keeps it, as a
  // real board keeps its DSP whatever the host's settings say (the board then
  // warns that the two differ). Values given with --sim-configured-* stay.
  auto& values = o.backendOptions.values;
  values.try_emplace("configured-dsp", DspTypeName(s.dspType));
  values.try_emplace("configured-flash", FlashTypeName(s.flashType));
  values.try_emplace("configured-boot", "Boot" + std::to_string(s.bootType + 1));
  return o;
}

}  // namespace velmora::cli
