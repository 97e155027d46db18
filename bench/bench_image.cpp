// Reading a large COFF file against a plain read plus the image fill, and the
// symbol-file round trip.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "image/CoffReader.h"
#include "image/CoffWriter.h"
#include "image/SymbolFile.h"

using namespace velmora;

namespace {

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

// 4 MiB of section data in four sections and 100,000 symbols: globals, arrays
// with auxiliary entries, functions and labels, most names in the string table.
const std::string& LargeCoff() {
  static const std::string path = [] {
    std::vector<CoffWriterSection> sections;
    for (uint32_t s = 0; s < 4; ++s) {
      CoffWriterSection sec;
      sec.name = s == 0 ? ".text" : ".sect_" + std::to_string(s) + "_data";
      sec.physicalAddress = 0x100000 * (s + 1);
      sec.virtualAddress = sec.physicalAddress;
      sec.data.resize(256 * 1024);
      for (uint32_t i = 0; i < sec.data.size(); ++i) sec.data[i] = i * 2654435761u + s;
      sections.push_back(std::move(sec));
    }
    std::vector<CoffWriterSymbol> symbols;
    for (uint32_t i = 0; i < 100000; ++i) {
      CoffWriterSymbol sym;
      sym.name = "_variable_" + std::to_string(i);
      sym.value = 0x809800 + i;
      switch (i % 4) {
        case 0:
          sym.type = 0x0004;
          break;
        case 1:
          sym.type = 0x0034;
          sym.hasAux = true;
          sym.dims = {16, 4, 0, 0};
          break;
        case 2:
          sym.type = 0x0024;
          break;  // function
        case 3:
          sym.type = 0x0000;
          sym.storageClass = 6;
          break;  // label
      }
      symbols.push_back(std::move(sym));
    }
    const std::string p = TempPath("velmora_bench_large.out");
    if (!WriteCoffFile(p, {}, sections, symbols))
      std::fprintf(stderr, "cannot write %s\n", p.c_str());
    return p;
  }();
  return path;
}

void ReadCoff(ProgramData& data) {
  MemoryInterfaceValues mi;
  if (ReadCoffFile(LargeCoff(), mi, data) != kCoffOk) std::abort();
}

// The floor: the same bytes read the same way, and the 16 MiB image fill.
void ReadAndFill(std::vector<uint32_t>& image) {
  std::ifstream in(LargeCoff(), std::ios::binary | std::ios::ate);
  const auto size = static_cast<size_t>(in.tellg());
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.get()), static_cast<std::streamsize>(size));
  benchmark::DoNotOptimize(bytes.get());
  std::memset(image.data(), 0xFF, image.size() * 4);
  benchmark::ClobberMemory();
}

void BM_ReadCoffFile(benchmark::State& state) {
  ProgramData data;
  for (auto _ : state) ReadCoff(data);
  state.counters["symbols"] = static_cast<double>(data.symbols.size());
  state.counters["file_MiB"] =
      static_cast<double>(std::filesystem::file_size(LargeCoff())) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ReadCoffFile)->Unit(benchmark::kMillisecond);

void BM_PlainReadPlusFill(benchmark::State& state) {
  std::vector<uint32_t> image(kImageWords);
  for (auto _ : state) ReadAndFill(image);
}
BENCHMARK(BM_PlainReadPlusFill)->Unit(benchmark::kMillisecond);

// Both in turn, so the ratio is taken under the same conditions.
void BM_ReadCoffVersusBaseline(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  ProgramData data;
  std::vector<uint32_t> image(kImageWords);
  Clock::duration reader{}, baseline{};
  for (auto _ : state) {
    auto t0 = Clock::now();
    ReadCoff(data);
    auto t1 = Clock::now();
    ReadAndFill(image);
    auto t2 = Clock::now();
    reader += t1 - t0;
    baseline += t2 - t1;
  }
  state.counters["ratio"] = std::chrono::duration<double>(reader).count() /
                            std::chrono::duration<double>(baseline).count();
}
BENCHMARK(BM_ReadCoffVersusBaseline)->Unit(benchmark::kMillisecond);

void BM_SymbolFileRoundTrip(benchmark::State& state) {
  std::vector<CDataObject> variables, addresses;
  for (uint32_t i = 0; i < 5000; ++i) {
    variables.push_back({.name = "variable_" + std::to_string(i),
                         .arrayText = i % 3 ? "" : "Array Info : [16][4]",
                         .address = 0x809800 + i,
                         .typeCode = 0x34,
                         .viewType = static_cast<uint8_t>(i % 5)});
    addresses.push_back({.address = 0x808000 + i, .viewType = static_cast<uint8_t>(i % 5)});
  }
  const std::string path = TempPath("velmora_bench_watch.sym");
  std::vector<CDataObject> v, a;
  for (auto _ : state) {
    if (SaveSymbolFile(path, variables, addresses) != SymbolFileResult::kOk) std::abort();
    if (LoadSymbolFile(path, v, a) != SymbolFileResult::kOk) std::abort();
  }
  state.counters["items"] = static_cast<double>(v.size() + a.size());
  std::filesystem::remove(path);
}
BENCHMARK(BM_SymbolFileRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
