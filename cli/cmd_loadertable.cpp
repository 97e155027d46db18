// velmora-cli loader-table: assembles a flash loader source and writes the word
// table that the pod link streams (podlink/loaders/*.cpp), or checks that a
// committed table still matches its source.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "c3x/Assembler.h"
#include "image/AtomicFile.h"

namespace velmora::cli {
namespace {

struct Stream {
  std::vector<uint32_t> words;
  std::vector<size_t> patch;
  std::string layout;  // one line for the header comment
};

const c3x::AsmSymbol* FindSymbol(const c3x::AsmResult& r, const std::string& name) {
  for (const c3x::AsmSymbol& s : r.symbols)
    if (s.name == name) return &s;
  return nullptr;
}

std::string Hex(uint32_t v, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, v);
  return text;
}

bool BuildStream(const c3x::AsmResult& r, Stream& out, std::string& error) {
  const c3x::AsmSymbol* iostrb = FindSymbol(r, "stream_iostrb");
  const c3x::AsmSymbol* strb0 = FindSymbol(r, "stream_strb0");
  const c3x::AsmSymbol* strb1 = FindSymbol(r, "stream_strb1");
  const bool c32 = iostrb || strb0 || strb1;
  if (c32) {
    if (!iostrb || !strb0 || !strb1) {
      error = "a TMS320C32 loader needs all of stream_iostrb, stream_strb0 and stream_strb1";
      return false;
    }
    out.words = {iostrb->value, strb0->value, strb1->value};
    out.patch = {0, 1, 2};
  }
  const c3x::AsmSymbol* busValue = c32 ? nullptr : FindSymbol(r, "bus_control_value");
  if (!c32 && !busValue) {
    error = "the label bus_control_value (the word that receives the bus control value) is missing";
    return false;
  }
  bool first = true;
  for (const c3x::AsmSection& s : r.sections) {
    if (s.uninitialised || s.size == 0) continue;
    if (first && r.entryPoint != s.origin) {
      error = "the boot loader starts the first block (" + s.name + " at " + Hex(s.origin, 6) +
              "), but the entry point is " + Hex(r.entryPoint, 6);
      return false;
    }
    first = false;
    out.words.push_back(s.size);
    out.words.push_back(s.origin);
    if (c32) out.words.push_back(0);  // strobe word: the registers stay as the header set them
    if (busValue && busValue->value >= s.origin && busValue->value - s.origin < s.size)
      out.patch.push_back(out.words.size() + (busValue->value - s.origin));
    out.words.insert(out.words.end(), s.words.begin(), s.words.end());
    out.layout +=
        (out.layout.empty() ? "" : ", ") + std::to_string(s.size) + " words at " + Hex(s.origin, 6);
  }
  if (first) {
    error = "the program has no sections to load";
    return false;
  }
  out.words.push_back(0);
  if (busValue && out.patch.empty()) {
    error = "bus_control_value is not in a section that is loaded";
    return false;
  }
  return true;
}

// flash_loader_c32_byte -> kFlashLoaderTableC32Byte
std::string DefaultSymbol(const std::string& stem) {
  std::string rest = stem;
  const std::string prefix = "flash_loader_";
  if (rest.rfind(prefix, 0) == 0) rest = rest.substr(prefix.size());
  std::string name = "kFlashLoaderTable";
  bool upper = true;
  for (char c : rest) {
    if (c == '_' || c == '-') {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = false;
  }
  return name;
}

std::string TableText(const Stream& s, const std::string& fileName, const std::string& symbol) {
  std::ostringstream t;
  // Laid out as clang-format would leave it, and fenced off from it besides,
  // so that formatting the tree never makes a table differ from its source.
  t << "// GENERATED from loaders/" << fileName << "; do not edit by hand.\n"
    << "// velmora-cli loader-table: " << s.words.size() << " words; " << s.layout << ".\n"
    << "// clang-format off\n"
    << "#include \"podlink/FlashLoaders.h\"\n\n"
    << "namespace velmora {\nnamespace {\n"
    << "const uint32_t kWords[] = {\n";
  for (size_t i = 0; i < s.words.size(); i += 6) {
    t << "   ";
    for (size_t k = i; k < i + 6 && k < s.words.size(); ++k) t << " " << Hex(s.words[k], 8) << ",";
    t << "\n";
  }
  t << "};\n"
    << "const size_t kPatch[] = {";
  for (size_t i = 0; i < s.patch.size(); ++i) t << (i ? ", " : "") << s.patch[i];
  t << "};\n"
    << "}  // namespace\n\n"
    << "const FlashLoaderTable " << symbol << " = {\n"
    << "    kWords, std::size(kWords), kPatch, std::size(kPatch), \"" << fileName << "\"};\n\n"
    << "}  // namespace velmora\n"
    << "// clang-format on\n";
  return t.str();
}

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

struct Args {
  std::string source, output, check, symbol;
};

int Run(Invocation& run, const Args& args) {
  const std::string& source = args.source;
  std::string text;
  if (!ReadText(source, text)) {
    run.Err() << source << ": cannot read the source file\n";
    return 1;
  }
  const c3x::AsmResult r = c3x::Assemble(text, source, c3x::FileIncludeReader());
  if (!r.ok) {
    for (const std::string& e : r.errors) run.Err() << e << "\n";
    return 1;
  }
  Stream stream;
  std::string error;
  if (!BuildStream(r, stream, error)) {
    run.Err() << source << ": " << error << "\n";
    return 1;
  }
  const std::filesystem::path path(source);
  const std::string table =
      TableText(stream, path.filename().string(),
                args.symbol.empty() ? DefaultSymbol(path.stem().string()) : args.symbol);

  if (!args.check.empty()) {
    std::string committed;
    if (!ReadText(args.check, committed)) {
      run.Err() << args.check << ": cannot read the table\n";
      return 1;
    }
    if (committed != table) {
      run.Err() << args.check << " does not match " << source << "; regenerate it with\n"
                << "  velmora-cli loader-table " << source << " -o " << args.check << "\n";
      return 1;
    }
    return kExitOk;
  }
  if (args.output.empty()) {
    run.Out() << table;
    return kExitOk;
  }
  if (!WriteFileAtomically(args.output, table)) {
    run.Err() << args.output << ": cannot write the table\n";
    return 1;
  }
  return kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "loader-table",
      "assemble a flash loader into the word table the pod link streams\n"
      "Assembles a flash loader (src/podlink/loaders/flash_loader_*.asm) and writes\n"
      "its table in the serial-boot stream form: blocks of size, load address (and a\n"
      "strobe word 0 on the TMS320C32), the data, a closing 0; a TMS320C32 stream\n"
      "starts with the IOSTRB, STRB0 and STRB1 values.\n"
      "The source says which form it has: the constants stream_iostrb, stream_strb0\n"
      "and stream_strb1 make it a TMS320C32 stream (patched at words 0, 1, 2);\n"
      "otherwise the label bus_control_value marks the word that receives the\n"
      "primary bus control value. The first section must hold the entry point.");
  auto args = std::make_shared<Args>();
  cmd->add_option("SOURCE.asm", args->source, "the loader's source")->required();
  CLI::Option* output = cmd->add_option("-o,--output", args->output,
                                        "write the table to FILE (default: standard "
                                        "output)")
                            ->option_text("FILE");
  cmd->add_option("--check", args->check, "compare FILE with the table; exit 1 when it differs")
      ->option_text("FILE")
      ->excludes(output);
  cmd->add_option("--symbol", args->symbol,
                  "the table's name (default from the file name: flash_loader_c32_byte.asm "
                  "gives kFlashLoaderTableC32Byte)")
      ->option_text("NAME");
  cmd->footer(
      "Exit status: 0 done (or the table matches), 1 assembly errors, a table that\n"
      "differs or a file that cannot be written, 2 wrong usage.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
