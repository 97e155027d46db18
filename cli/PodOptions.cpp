#include "PodOptions.h"

#include <cerrno>
#include <cstdlib>

#include "config/qt/QSettingsStore.h"

// The virtual board's backend, when the build has one (see FtdiBackends.h).
#if __has_include("sim/SimBackend.h")
#include "sim/SimBackend.h"
#define VELMORA_HAVE_SIM_BACKEND 1
#endif

namespace velmora::cli {

namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Options that take a value.
const char* const kValueOptions[] = {"--pod", "--pod-library", "--sim-dir", "--settings",
                                     "--dsp", "--flash",       "--boot",    "--scan-us",
                                     "--bus", "--iostrb",      "--strb0",   "--strb1"};

bool TakesValue(const std::string& name) {
  for (const char* o : kValueOptions)
    if (name == o) return true;
  return false;
}

}  // namespace

std::optional<uint8_t> ParseDspOption(const std::string& text) {
  const std::string t = Lower(text);
  if (t == "c31" || t == "tms320c31" || t == "0") return kTMS320C31;
  if (t == "c32" || t == "tms320c32" || t == "1") return kTMS320C32;
  if (t == "c33" || t == "tms320c33" || t == "2") return kTMS320C33;
  return std::nullopt;
}

std::optional<uint8_t> ParseFlashOption(const std::string& text) {
  const std::string t = Lower(text);
  const char* names[] = {"am29f010", "am29f040", "hy29f040a", "at29c010a", "at29c020", "at29c040a"};
  for (uint8_t i = 0; i < 6; ++i)
    if (t == names[i]) return i;
  return std::nullopt;
}

std::optional<uint32_t> ParseNumber(const std::string& text, int base) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, base);
  if (errno || *end || end == text.c_str() || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<uint32_t>(v);
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

bool ParsePodOptions(std::vector<std::string>& args, SettingsStore* store, PodOptions& options,
                     std::string& error) {
#ifdef VELMORA_HAVE_SIM_BACKEND
  static const bool simRegistered = (velmora::sim::RegisterSimBackend(), true);
  (void)simRegistered;
#endif
  // Split into (name, value) pairs first, leaving everything else in place.
  std::vector<std::pair<std::string, std::string>> given;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--sim-", 0) == 0 && a.rfind("--sim-dir", 0) != 0) {
      // Virtual board knobs: --sim-KEY=VALUE (or --sim-KEY alone for "1").
      const size_t eq = a.find('=');
      const std::string key = a.substr(6, eq == std::string::npos ? std::string::npos : eq - 6);
      if (key.empty()) {
        error = "option " + a + " names no virtual board setting";
        return false;
      }
      options.backendOptions.values[key] = eq == std::string::npos ? "1" : a.substr(eq + 1);
      continue;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    if (!TakesValue(name)) {
      rest.push_back(a);
      continue;
    }
    if (eq != std::string::npos) {
      given.emplace_back(name, a.substr(eq + 1));
    } else if (i + 1 < args.size()) {
      given.emplace_back(name, args[++i]);
    } else {
      error = "option " + name + " needs a value";
      return false;
    }
  }

  options.backend = DefaultFtdiBackendName();
  for (const auto& [name, value] : given)
    if (name == "--settings") options.settingsFile = value;

  std::unique_ptr<SettingsStore> owned;
  if (!store) {
    owned = OpenSettingsStore(options.settingsFile);
    store = owned.get();
  }
  LoadSettings(*store, options.settings);

  for (const auto& option : given) {
    // Named references rather than a structured binding: lambdas below
    // capture them, which not every compiler accepts for bindings yet.
    const std::string& name = option.first;
    const std::string& value = option.second;
    AppSettings& s = options.settings;
    auto hex = [&](uint32_t& field) {
      std::string digits = value;
      if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits = digits.substr(2);
      auto v = ParseNumber(digits, 16);
      if (!v)
        error = "option " + name + " takes a hexadecimal value, not '" + value + "'";
      else
        field = *v;
      return v.has_value();
    };
    if (name == "--pod") {
      if (value.empty()) {
        error = "option --pod needs a backend name (ftdi, d2xx or sim)";
        return false;
      }
      options.backend = value;
    } else if (name == "--pod-library") {
      options.backendOptions.values["library"] = value;
    } else if (name == "--sim-dir") {
      options.backendOptions.simDir = value;
    } else if (name == "--dsp") {
      auto v = ParseDspOption(value);
      if (!v) {
        error = "option --dsp takes c31, c32 or c33, not '" + value + "'";
        return false;
      }
      s.dspType = *v;
    } else if (name == "--flash") {
      auto v = ParseFlashOption(value);
      if (!v) {
        error =
            "option --flash takes am29f010, am29f040, hy29f040a, at29c010a, at29c020 or "
            "at29c040a, not '" +
            value + "'";
        return false;
      }
      s.flashType = *v;
    } else if (name == "--boot") {
      auto v = ParseNumber(value, 10);
      if (!v || *v < 1 || *v > 3) {
        error = "option --boot takes 1, 2 or 3, not '" + value + "'";
        return false;
      }
      s.bootType = static_cast<uint8_t>(*v - 1);
    } else if (name == "--scan-us") {
      auto v = ParseNumber(value, 10);
      if (!v || *v < 1 || *v > 10000) {
        error = "option --scan-us takes a pause of 1 to 10000 microseconds, not '" + value + "'";
        return false;
      }
      options.transferPauseUs = *v;
    } else if (name == "--bus") {
      if (!hex(s.primaryBus)) return false;
    } else if (name == "--iostrb") {
      if (!hex(s.iostrb)) return false;
    } else if (name == "--strb0") {
      if (!hex(s.strb0)) return false;
    } else if (name == "--strb1") {
      if (!hex(s.strb1)) return false;
    }
  }
  // The virtual board learns what the host is set up for: a new board folder
  // starts as that board. A folder that already holds a board keeps it, as a
  // real board keeps its DSP whatever the host's settings say (the board then
  // warns that the two differ). Values given with --sim-configured-* stay.
  const AppSettings& s = options.settings;
  auto& values = options.backendOptions.values;
  values.try_emplace("configured-dsp", DspTypeName(s.dspType));
  values.try_emplace("configured-flash", FlashTypeName(s.flashType));
  values.try_emplace("configured-boot", "Boot" + std::to_string(s.bootType + 1));
  args = std::move(rest);
  return true;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value,
                bool& bad) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      if (i + 1 >= args.size()) {
        bad = true;
        return false;
      }
      value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      value = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

const char* PodOptionsHelp() {
  return "Pod and target options (default: the stored settings, which are never written):\n"
         "  --pod=NAME         pod backend: ftdi (libftdi1, the default), d2xx (FTDI's\n"
         "                     D2XX library) or sim (the virtual board); also VELMORA_POD\n"
         "  --pod-library=FILE the libftdi1 or D2XX library to load instead of the\n"
         "                     system's\n"
         "  --sim-dir=DIR      the virtual board's state folder\n"
         "  --sim-KEY=VALUE    a virtual board setting, passed through\n"
         "  --settings=FILE    read the settings from this INI file\n"
         "  --dsp=c31|c32|c33  DSP type\n"
         "  --flash=TYPE       am29f010, am29f040, hy29f040a, at29c010a, at29c020, at29c040a\n"
         "  --boot=1|2|3       boot type (Boot1, Boot2, Boot3)\n"
         "  --scan-us=N        transfer pause after each monitor word, microseconds\n"
         "  --bus=HEX          primary bus control (TMS320C31, TMS320C33)\n"
         "  --iostrb=HEX --strb0=HEX --strb1=HEX   bus control values (TMS320C32)\n";
}

}  // namespace velmora::cli
