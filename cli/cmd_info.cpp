// velmora-cli info: what the COFF reader makes of a file, and the program image.
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "PodOptions.h"
#include "image/AtomicFile.h"
#include "image/CoffReader.h"
#include "image/ImageReport.h"

namespace velmora::cli {
namespace {

struct Args {
  std::string file, imageOut;
  bool json = false;
};

int Run(Invocation& run, const Args& args) {
  const MemoryInterfaceValues mi = run.Pod().Derived().MemoryInterface();
  ProgramData data;
  CoffFileInfo info;
  const int result = ReadCoffFile(args.file, mi, data, &info);
  if (result != kCoffOk) {
    run.Err() << CoffResultMessage(result) << "\n";
    return 1;
  }
  if (!args.imageOut.empty()) {
    const std::vector<uint8_t> bytes = ImageBytes(data.image);
    if (!WriteFileAtomically(args.imageOut,
                             {reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
      run.Err() << "velmora-cli info: cannot write '" << args.imageOut << "'\n";
      return 1;
    }
  }
  if (args.json) {
    run.Out() << CoffInfoJson(info, data);
  } else {
    run.Out() << "File:        " << args.file << "\n"
              << "DSP type:    " << DspTypeName(mi.dspType) << "\n"
              << CoffInfoText(info, data);
  }
  return kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "info",
      "show the sections and symbols of a COFF file\n"
      "Reads a TI COFF file as the application does and prints the header kind\n"
      "(COFF0, COFF1, COFF2), the image and data byte counts, the loadable sections\n"
      "(name, start, size in words) and the symbol table (name, address, type code,\n"
      "type text, array text).\n"
      "The program image is laid out for the DSP type (--dsp; default: the stored\n"
      "\"MCU TYPE\" setting, TMS320C32 when none is stored); its header and strobe\n"
      "words hold the memory-interface values of the settings and of --bus,\n"
      "--iostrb, --strb0 and --strb1.");
  auto args = std::make_shared<Args>();
  cmd->add_option("FILE.out", args->file, "the COFF file")->required();
  cmd->add_flag("--json", args->json,
                "one JSON object {format, image_bytes, data_bytes, sections: [{name, start, "
                "size}], symbols: [{name, address, type, type_text, array}]}");
  cmd->add_option("--image-out", args->imageOut,
                  "also write the program image (word 0 up to the image byte count, "
                  "little-endian)")
      ->option_text("FILE");
  UsesPodOptions(*cmd,
                 "Exit status: 0 on success, 1 when the file cannot be read as COFF or the\n"
                 "image cannot be written, 2 on wrong usage.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
