#include "sim/VirtualBoard.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>

#include "image/AtomicFile.h"

namespace velmora::sim {
namespace fs = std::filesystem;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool ParseUint(const std::string& text, int base, uint32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, base);
  if (*end || v > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

const char* const kDspNames[] = {"TMS320C31", "TMS320C32", "TMS320C33"};
constexpr uint64_t kSettleAfterBootWindowNs = 1'000'000;

std::string FirmwareText(uint8_t v) {
  return std::to_string(v >> 4) + "." + std::to_string(v & 0xF);
}

}  // namespace

std::string DefaultBoardFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    return (fs::path(xdg) / "velmora" / "sim").string();
  if (const char* home = std::getenv("HOME"); home && *home)
    return (fs::path(home) / ".local" / "share" / "velmora" / "sim").string();
  return (fs::temp_directory_path() / "velmora-sim").string();
}

bool ParseDspType(const std::string& text, uint8_t* out) {
  const std::string t = Upper(Trim(text));
  for (uint8_t i = 0; i < 3; ++i) {
    const std::string name = kDspNames[i];
    if (t == name || t == name.substr(6) || t == std::to_string(i)) {
      *out = i;
      return true;
    }
  }
  return false;
}

bool ParseFlashType(const std::string& text, uint8_t* out) {
  const std::string t = Upper(Trim(text));
  if (const FlashChipInfo* info = FindFlashInfo(t)) {
    *out = info->type;
    return true;
  }
  uint32_t v = 0;
  if (ParseUint(t, 10, &v) && v < kFlashTypeCount) {
    *out = static_cast<uint8_t>(v);
    return true;
  }
  return false;
}

bool ParseBootMode(const std::string& text, uint8_t* out) {
  std::string t = Upper(Trim(text));
  if (t.rfind("BOOT", 0) == 0) t = t.substr(4);
  uint32_t v = 0;
  if (!ParseUint(t, 10, &v) || v < 1 || v > 3) return false;
  *out = static_cast<uint8_t>(v - 1);
  return true;
}

bool ParseFirmwareVersion(const std::string& text, uint8_t* out) {
  const std::string t = Trim(text);
  uint32_t v = 0;
  if (const size_t dot = t.find('.'); dot != std::string::npos) {
    uint32_t major = 0, minor = 0;
    if (!ParseUint(t.substr(0, dot), 10, &major) || !ParseUint(t.substr(dot + 1), 10, &minor) ||
        major > 15 || minor > 15)
      return false;
    *out = static_cast<uint8_t>((major << 4) | minor);
    return true;
  }
  if (!ParseUint(t, 16, &v) || v > 0xFF) return false;  // "12", "0x12": hex
  *out = static_cast<uint8_t>(v);
  return true;
}

bool ParseFlashRevision(const std::string& text, bool* revisionB) {
  const std::string t = Upper(Trim(text));
  if (t != "A" && t != "B" && !t.empty()) return false;
  *revisionB = t == "B";
  return true;
}

bool ParseFlashSpeed(const std::string& text, uint32_t* ns) {
  std::string t = Trim(text);
  if (t.size() > 2 && Upper(t.substr(t.size() - 2)) == "NS") t = Trim(t.substr(0, t.size() - 2));
  uint32_t v = 0;
  if (!ParseUint(t, 10, &v) || !IsFlashSpeedGrade(v)) return false;
  *ns = v;
  return true;
}

BoardFolder::BoardFolder(std::string folder) : folder_(std::move(folder)) {}

std::string BoardFolder::OptionsPath() const {
  return (fs::path(folder_) / "board.ini").string();
}

std::string BoardFolder::FlashPath(uint8_t flashType) const {
  const FlashChipInfo* info = FindFlashInfo(flashType);
  return (fs::path(folder_) / ("flash-" + std::string(info ? info->name : "unknown") + ".bin"))
      .string();
}

bool BoardFolder::LoadOptions(BoardOptions* options, std::string* error) const {
  if (error) error->clear();
  std::ifstream in(OptionsPath());
  if (!in) return false;
  BoardOptions o;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
    const size_t eq = line.find('=');
    const std::string key = eq == std::string::npos ? line : Trim(line.substr(0, eq));
    const std::string value = eq == std::string::npos ? "" : Trim(line.substr(eq + 1));
    bool ok = true;
    uint32_t n = 0;
    if (key == "dsp")
      ok = ParseDspType(value, &o.dspType);
    else if (key == "flash")
      ok = ParseFlashType(value, &o.flashType);
    else if (key == "boot")
      ok = ParseBootMode(value, &o.bootMode);
    else if (key == "firmware")
      ok = ParseFirmwareVersion(value, &o.firmwareVersion);
    else if (key == "mhz")
      ok = ParseUint(value, 10, &n) && n <= 1000, o.cpuMhz = n;
    else if (key == "reset-polarity")
      o.resetActiveHigh = Upper(value) == "HIGH";
    else if (key == "flash-rev")
      ok = ParseFlashRevision(value, &o.flash.revisionB);
    else if (key == "flash-speed")
      ok = ParseFlashSpeed(value, &o.flash.speedNs);
    if (!ok) {
      if (error) *error = OptionsPath() + ":" + std::to_string(lineNo) + ": bad value for " + key;
      return false;
    }
  }
  *options = o;
  return true;
}

bool BoardFolder::SaveOptions(const BoardOptions& o, std::string* error) const {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec) {
    if (error) *error = "cannot create " + folder_ + ": " + ec.message();
    return false;
  }
  std::ostringstream out;
  out << "# Velmora UT virtual board\n"
      << "dsp=" << kDspNames[o.dspType > 2 ? 0 : o.dspType] << "\n"
      << "flash=" << FindFlashInfo(o.flashType)->name << "\n"
      << "boot=Boot" << (o.bootMode + 1) << "\n"
      << "firmware=" << FirmwareText(o.firmwareVersion) << "\n"
      << "mhz=" << o.cpuMhz << "\n"
      << "reset-polarity=" << (o.resetActiveHigh ? "high" : "low") << "\n"
      << "flash-rev=" << (o.flash.revisionB ? "B" : "A") << "\n"
      << "flash-speed=" << o.flash.speedNs << "\n";
  return WriteFileAtomically(OptionsPath(), out.view(), error, ".tmp", false);
}

std::unique_ptr<FlashChip> BoardFolder::LoadFlash(uint8_t flashType, std::string* note) const {
  if (note) note->clear();
  const std::string path = FlashPath(flashType);
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::make_unique<FlashChip>(flashType);
  std::string why;
  auto chip = FlashChip::Load(path, flashType, &why);
  if (chip) return chip;
  if (note) *note = why + " (starting with an erased chip; the file is kept until it is rewritten)";
  return std::make_unique<FlashChip>(flashType);
}

bool BoardFolder::SaveFlash(const FlashChip& chip, std::string* error) const {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  return chip.Save(FlashPath(chip.Info().type), error);
}

bool ResolveBoardOptions(BoardFolder& folder, const std::map<std::string, std::string>& values,
                         BoardOptions* options, std::string* error) {
  BoardOptions o;
  std::string why;
  const bool stored = folder.LoadOptions(&o, &why);
  if (!stored && !why.empty()) {
    *error = why;
    return false;
  }
  auto get = [&](const char* key) -> const std::string* {
    auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
  };
  auto apply = [&](const char* key, bool (*parse)(const std::string&, uint8_t*), uint8_t* field,
                   bool onlyNew) -> bool {
    const std::string* v = get(key);
    if (!v || (onlyNew && stored)) return true;
    if (!parse(*v, field)) {
      *error = std::string("bad value for --sim-") + key + ": " + *v;
      return false;
    }
    return true;
  };
  if (!apply("configured-dsp", ParseDspType, &o.dspType, true) ||
      !apply("configured-flash", ParseFlashType, &o.flashType, true) ||
      !apply("configured-boot", ParseBootMode, &o.bootMode, true) ||
      !apply("dsp", ParseDspType, &o.dspType, false) ||
      !apply("flash", ParseFlashType, &o.flashType, false) ||
      !apply("boot", ParseBootMode, &o.bootMode, false) ||
      !apply("firmware", ParseFirmwareVersion, &o.firmwareVersion, false))
    return false;
  if (const std::string* v = get("mhz")) {
    uint32_t n = 0;
    if (!ParseUint(*v, 10, &n) || n > 1000) {
      *error = "bad value for --sim-mhz: " + *v;
      return false;
    }
    o.cpuMhz = n;
  }
  if (const std::string* v = get("reset-polarity")) {
    const std::string t = Upper(*v);
    if (t != "HIGH" && t != "LOW" && t != "1" && t != "0") {
      *error = "bad value for --sim-reset-polarity: " + *v + " (low or high)";
      return false;
    }
    o.resetActiveHigh = t == "HIGH" || t == "1";
  }
  if (const std::string* v = get("flash-rev"); v && !ParseFlashRevision(*v, &o.flash.revisionB)) {
    *error = "bad value for --sim-flash-rev: " + *v + " (A or B)";
    return false;
  }
  if (const std::string* v = get("flash-speed"); v && !ParseFlashSpeed(*v, &o.flash.speedNs)) {
    *error = "bad value for --sim-flash-speed: " + *v + " (70, 90, 120 or 150 ns)";
    return false;
  }
  if (!folder.SaveOptions(o, error)) return false;
  *options = o;
  return true;
}

std::string SettingsMismatchNote(const BoardFolder& folder, const BoardOptions& board,
                                 const std::map<std::string, std::string>& values) {
  std::string diffs;
  auto compare = [&](const char* key, const char* what, bool (*parse)(const std::string&, uint8_t*),
                     uint8_t have, const std::string& haveText) {
    auto it = values.find(key);
    uint8_t want = 0;
    if (it == values.end() || !parse(it->second, &want) || want == have) return;
    diffs += std::string(diffs.empty() ? "" : ", ") + what + " " + haveText +
             " (settings: " + it->second + ")";
  };
  compare("configured-dsp", "DSP", ParseDspType, board.dspType,
          kDspNames[board.dspType > 2 ? 0 : board.dspType]);
  compare("configured-flash", "flash", ParseFlashType, board.flashType,
          FindFlashInfo(board.flashType)->name);
  compare("configured-boot", "boot mode", ParseBootMode, board.bootMode,
          "Boot" + std::to_string(board.bootMode + 1));
  if (diffs.empty()) return {};
  return "virtual board: the board in " + folder.Path() +
         " is not what the settings describe: " + diffs +
         ". A board does not follow the host's settings: a program booted or flashed for "
         "other settings does not run or lands in the wrong place, and only a verify tells. "
         "Set the host to the board (--dsp, --flash, --boot) or change the board (--sim-dsp, "
         "--sim-flash, --sim-boot).";
}

std::unique_ptr<SimFtdiDevice> OpenVirtualBoard(const FtdiBackendOptions& options,
                                                std::string* error, VirtualClock* clock) {
  std::string why;
  BoardFolder folder(options.simDir.empty() ? DefaultBoardFolder() : options.simDir);
  BoardOptions o;
  if (!ResolveBoardOptions(folder, options.values, &o, &why)) {
    if (error) *error = "virtual board: " + why;
    return nullptr;
  }
  const std::string mismatch = SettingsMismatchNote(folder, o, options.values);
  if (!mismatch.empty()) std::cerr << mismatch << "\n";
  PodOptions pod;
  pod.firmwareVersion = o.firmwareVersion;
  auto value = [&](const char* key) -> std::string {
    auto it = options.values.find(key);
    return it == options.values.end() ? std::string() : it->second;
  };
  if (const std::string v = value("reset-reply"); !v.empty()) pod.answerReset = v != "0";
  if (const std::string v = value("break-after"); !v.empty()) {
    uint32_t n = 0;
    if (!ParseUint(v, 10, &n)) {
      if (error) *error = "virtual board: bad value for --sim-break-after: " + v;
      return nullptr;
    }
    pod.breakAfterFrames = n;
  }
  std::string note;
  auto chip = folder.LoadFlash(o.flashType, &note);
  if (!note.empty()) std::cerr << "virtual board: " << note << "\n";
  for (const char* key : {"erase-fails", "program-us"}) {
    const std::string v = value(key);
    uint32_t n = 0;
    if (v.empty()) continue;
    if (!ParseUint(v, 10, &n)) {
      if (error) *error = std::string("virtual board: bad value for --sim-") + key + ": " + v;
      return nullptr;
    }
    if (key == std::string("erase-fails"))
      chip->SetEraseFailures(n);
    else
      chip->SetProgramTimeNs(uint64_t{n} * 1000);
  }
  BoardConfig config;
  config.dspType = o.dspType;
  config.flashType = o.flashType;
  config.bootMode = o.bootMode;
  config.cpuMhz = o.cpuMhz;
  config.resetActiveHigh = o.resetActiveHigh;
  config.flash = o.flash;
  auto board = std::make_unique<Board>(config, std::move(chip));
  if (const std::string path = value("trace"); !path.empty() && !board->TraceFlashBus(path, &why)) {
    if (error) *error = "virtual board: " + why;
    return nullptr;
  }
  board->PowerUp();
  // The board was switched on before the host program opened it: its boot
  // loader has waited out the serial boot window, and a program in the flash
  // is running by the time the host first talks to it (a serial boot starts
  // with a reset anyway).
  board->RunForNs(config.serialBootWindowNs + kSettleAfterBootWindowNs);

  std::unique_ptr<SimFtdiDevice> device;
  if (!clock && value("clock") == "virtual") {
    // A private clock that outlives the device using it.
    struct ClockHolder {
      VirtualClock clock;
    };
    struct Owned : ClockHolder, SimFtdiDevice {
      Owned(std::unique_ptr<Board> b, const PodOptions& p)
          : ClockHolder(), SimFtdiDevice(std::move(b), p, ClockHolder::clock) {}
    };
    device = std::make_unique<Owned>(std::move(board), pod);
  } else if (clock) {
    device = std::make_unique<SimFtdiDevice>(std::move(board), pod, *clock);
  } else {
    device = std::make_unique<SimFtdiDevice>(std::move(board), pod);
  }
  SimFtdiDevice* raw = device.get();
  const std::string folderPath = folder.Path();
  device->SetPersistHook([raw, folderPath] {
    std::string err;
    if (!BoardFolder(folderPath).SaveFlash(raw->TheBoard().Flash(), &err))
      std::cerr << "virtual board: flash not saved: " << err << "\n";
  });
  return device;
}

void RegisterSimBackend() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFtdiBackend("sim", [](const FtdiBackendOptions& options, std::string& error) {
      std::unique_ptr<FtdiApi> api = OpenVirtualBoard(options, &error);
      return api;
    });
  });
}

}  // namespace velmora::sim
