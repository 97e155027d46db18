// velmora-cli info: what the COFF reader makes of a file, and the program image.
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "config/AppSettings.h"
#include "config/qt/QSettingsStore.h"
#include "image/CoffReader.h"
#include "image/ImageReport.h"

namespace velmora::cli {
namespace {

constexpr int kUsageError = 2;

void PrintInfoHelp() {
  std::printf(
      "Usage: velmora-cli info FILE.out [--dsp c31|c32|c33] [--json] [--image-out IMAGE.bin]\n"
      "\n"
      "Reads a TI COFF file as the application does and prints the header kind\n"
      "(COFF0, COFF1, COFF2), the image and data byte counts, the loadable sections\n"
      "(name, start, size in words) and the symbol table (name, address, type code,\n"
      "type text, array text).\n"
      "\n"
      "  --dsp TYPE         DSP type the program image is laid out for; default: the\n"
      "                     stored \"MCU TYPE\" setting, TMS320C32 when none is stored\n"
      "  --json             one JSON object instead of text\n"
      "  --image-out FILE   also write the program image (word 0 up to the image byte\n"
      "                     count, little-endian)\n"
      "  --settings=FILE    read the settings from this INI file instead of the\n"
      "                     user's settings\n"
      "  --help             this text\n"
      "\n"
      "The memory-interface register values in the image header and the strobe\n"
      "words are those of the settings (their defaults when nothing is stored).\n"
      "Exit status: 0 on success, 1 when the file cannot be read as COFF, 2 on\n"
      "wrong usage.\n");
}

std::optional<uint8_t> ParseDsp(const std::string& text) {
  if (text == "c31" || text == "C31" || text == "TMS320C31") return kTMS320C31;
  if (text == "c32" || text == "C32" || text == "TMS320C32") return kTMS320C32;
  if (text == "c33" || text == "C33" || text == "TMS320C33") return kTMS320C33;
  return std::nullopt;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

int RunInfo(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  std::optional<uint8_t> dsp;
  std::string imageOut, settingsFile;
  bool json = false;
  auto value = [&](size_t& i, const std::string& a, const char* name, std::string& out) {
    const std::string prefix = std::string(name) + "=";
    if (a.rfind(prefix, 0) == 0) {
      out = a.substr(prefix.size());
      return true;
    }
    if (i + 1 >= args.size()) return false;
    out = args[++i];
    return true;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintInfoHelp();
      return 0;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--dsp" || a.rfind("--dsp=", 0) == 0) {
      std::string text;
      if (!value(i, a, "--dsp", text) || !(dsp = ParseDsp(text))) {
        std::fprintf(stderr, "velmora-cli info: --dsp needs c31, c32 or c33\n");
        return kUsageError;
      }
    } else if (a == "--image-out" || a.rfind("--image-out=", 0) == 0) {
      if (!value(i, a, "--image-out", imageOut) || imageOut.empty()) {
        std::fprintf(stderr, "velmora-cli info: --image-out needs a file name\n");
        return kUsageError;
      }
    } else if (a.rfind("--settings=", 0) == 0) {
      settingsFile = a.substr(11);
    } else if (a.rfind("--pod=", 0) == 0) {
      // Global option; nothing here talks to a pod.
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "velmora-cli info: unknown option '%s'\n", a.c_str());
      return kUsageError;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 1) {
    std::fprintf(stderr, "velmora-cli info: give one COFF file (see velmora-cli info --help)\n");
    return kUsageError;
  }

  AppSettings settings;
  {
    std::unique_ptr<QSettingsStore> store = settingsFile.empty()
                                                ? std::make_unique<QSettingsStore>()
                                                : std::make_unique<QSettingsStore>(settingsFile);
    LoadSettings(*store, settings);
  }
  MemoryInterfaceValues mi = Derive(settings).MemoryInterface();
  if (dsp) mi.dspType = *dsp;

  ProgramData data;
  CoffFileInfo info;
  const int result = ReadCoffFile(files[0], mi, data, &info);
  if (result != kCoffOk) {
    std::fprintf(stderr, "%s\n", CoffResultMessage(result));
    return 1;
  }
  if (!imageOut.empty() && !WriteFile(imageOut, ImageBytes(data.image))) {
    std::fprintf(stderr, "velmora-cli info: cannot write '%s'\n", imageOut.c_str());
    return 1;
  }
  if (json) {
    std::fputs(CoffInfoJson(info, data).c_str(), stdout);
  } else {
    std::printf("File:        %s\n", files[0].c_str());
    std::printf("DSP type:    %s\n", DspTypeName(mi.dspType));
    std::fputs(CoffInfoText(info, data).c_str(), stdout);
  }
  return 0;
}

CommandRegistrar registerInfo("info", "show the sections and symbols of a COFF file", RunInfo);

}  // namespace
}  // namespace velmora::cli
