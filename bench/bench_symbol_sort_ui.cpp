// The symbol pane with 100,000 symbols: the row order alone, on random and on
// already sorted names (where the pane's classic quicksort goes quadratic),
// and the whole road from COFF bytes to a painted pane.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <random>
#include <string>
#include <vector>

#include "image/CoffReader.h"
#include "image/CoffWriter.h"
#include "shell/LeftView.h"
#include "shell/SymbolSort.h"

namespace {

using namespace velmora;

// C-like names with case variants and repeats, in random order.
std::vector<std::string> Names(size_t n, bool sorted) {
  static const char* const stems[] = {"counter", "Gain",   "buffer", "_state",
                                      "table",   "Filter", "x",      "sample"};
  std::mt19937 rng(2024);
  std::vector<std::string> names(n);
  for (size_t k = 0; k < n; ++k) {
    std::string s = stems[rng() % 8];
    if (rng() % 5 == 0) s[0] = static_cast<char>(s[0] ^ 0x20);
    s += std::to_string(rng() % (n / 2 + 1));
    names[k] = std::move(s);
  }
  if (sorted) {
    const std::vector<uint32_t> order = PaneSortOrder(names);
    std::vector<std::string> out;
    for (uint32_t k : order) out.push_back(names[k]);
    names = std::move(out);
  }
  return names;
}

void BM_PaneSortOrder(benchmark::State& state) {
  const auto names = Names(static_cast<size_t>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(PaneSortOrder(names));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetLabel(state.range(1) ? "sorted names" : "random names");
}
BENCHMARK(BM_PaneSortOrder)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);

// The step-by-step quicksort on sorted input, for scale (quadratic).
void BM_QuicksortReferenceSorted(benchmark::State& state) {
  const auto names = Names(static_cast<size_t>(state.range(0)), true);
  const std::vector<uint32_t> ranks = NoCaseRanks(names);
  for (auto _ : state) benchmark::DoNotOptimize(PaneSortOrderReference(ranks));
  state.SetLabel("sorted names");
}
BENCHMARK(BM_QuicksortReferenceSorted)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

std::vector<uint8_t> CoffWithSymbols(size_t n) {
  const auto names = Names(n, false);
  CoffWriterSection text;
  text.name = ".text";
  text.physicalAddress = text.virtualAddress = 0x809800;
  text.data.assign(64, 0);
  std::vector<CoffWriterSymbol> symbols;
  symbols.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    CoffWriterSymbol s;
    s.name = names[k];
    s.value = 0x809800 + static_cast<uint32_t>(k % 0x800);
    s.sectionNumber = 1;
    s.type = (k % 3 == 0) ? 0x36 : 4;
    if (s.type == 0x36) {
      s.hasAux = true;
      s.dims = {static_cast<uint16_t>(k % 17 + 1), 0, 0, 0};
    }
    symbols.push_back(std::move(s));
  }
  return WriteCoff({}, {text}, symbols);
}

// Read the file's bytes, fill the pane (sort included) and paint it.
void BM_LoadSortAndShow(benchmark::State& state) {
  const std::vector<uint8_t> coff = CoffWithSymbols(static_cast<size_t>(state.range(0)));
  CLeftView pane;
  pane.resize(420, 700);
  pane.show();
  QApplication::processEvents();
  MemoryInterfaceValues mi;
  mi.dspType = kTMS320C31;
  size_t rows = 0;
  for (auto _ : state) {
    ProgramData program;
    const int rc = ReadCoffBuffer(coff.data(), coff.size(), mi, program);
    if (rc != 0) {
      state.SkipWithError("the COFF file was not read");
      break;
    }
    pane.Fill(program.symbols);
    pane.repaint();
    rows = static_cast<size_t>(pane.RowCount());
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_LoadSortAndShow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10);

// The pane alone: fill from the symbol table, sort and paint.
void BM_FillSortAndShow(benchmark::State& state) {
  const std::vector<uint8_t> coff = CoffWithSymbols(static_cast<size_t>(state.range(0)));
  ProgramData program;
  MemoryInterfaceValues mi;
  mi.dspType = kTMS320C31;
  ReadCoffBuffer(coff.data(), coff.size(), mi, program);
  CLeftView pane;
  pane.resize(420, 700);
  pane.show();
  QApplication::processEvents();
  for (auto _ : state) {
    pane.Fill(program.symbols);
    pane.repaint();
  }
}
BENCHMARK(BM_FillSortAndShow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
