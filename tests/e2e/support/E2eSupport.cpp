#include <unistd.h>
#ifdef VELMORA_FTDISTUB
#include <dlfcn.h>
#endif

#include "e2e/e2e_support.h"
#include "sim/VirtualBoard.h"
#include "support/PodDoubles.h"

namespace velmora::e2e {
namespace {

// The running test's clock, the board it keeps powered and its cancel knob.
VirtualClock* g_clock = nullptr;
std::unique_ptr<sim::SimFtdiDevice> g_device;
Bench* g_bench = nullptr;

// The stand-in library's test calls.
struct StubLibrary {
  void* handle = nullptr;
  void (*setClock)(VirtualClock*) = nullptr;
  void* (*device)() = nullptr;
  void (*powerOff)() = nullptr;
};
StubLibrary g_stub;

#ifdef VELMORA_FTDISTUB
template <typename Fn>
void Symbol(const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(dlsym(g_stub.handle, name));
  ASSERT_NE(fn, nullptr) << name;
}
#endif

bool CancelRequested() {
  Bench* b = g_bench;
  if (!b) return false;
  ++b->cancelChecks;
  if (b->unplugAfter > 0 && b->cancelChecks == b->unplugAfter && g_device)
    g_device->SetUnplugged(true);
  return b->cancelAfter > 0 && b->cancelChecks >= b->cancelAfter;
}

}  // namespace

std::string DemoPath() {
  return std::string(VELMORA_SOURCE_DIR) + "/examples/demo/demo.out";
}

void Bench::SetUp() {
  g_clock = &clock;
  g_bench = this;
  RegisterFtdiBackend(kBackend, [](const FtdiBackendOptions& options, std::string& error) {
    if (!g_device) {
      g_device = sim::OpenVirtualBoard(options, &error, g_clock);
      if (!g_device) return std::unique_ptr<FtdiApi>();
    }
    return std::unique_ptr<FtdiApi>(std::make_unique<test::FtdiApiProxy>(*g_device));
  });
  dir = std::filesystem::temp_directory_path() /
        ("velmora_e2e_" + std::to_string(::getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  env.out = &out;
  env.err = &err;
  env.progressBar = false;
  env.store = &store;
  env.clock = &clock;
  env.delayer = &delayer;
  env.cancelRequested = &CancelRequested;
}

void Bench::TearDown() {
  g_device.reset();
  if (g_stub.handle) {
    if (g_stub.powerOff) g_stub.powerOff();
    if (g_stub.setClock) g_stub.setClock(nullptr);
#ifdef VELMORA_FTDISTUB
    dlclose(g_stub.handle);
#endif
    g_stub = {};
  }
  g_bench = nullptr;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

int Bench::Run(const std::string& command, std::vector<std::string> args) {
  out.str("");
  err.str("");
  cancelChecks = 0;
  if (library.empty()) {
    args.push_back(std::string("--pod=") + kBackend);
  } else {
    args.push_back("--pod=ftdi");
    args.push_back("--pod-library=" + library);
  }
  args.push_back("--sim-dir=" + (dir / board).string());
  args.insert(args.begin(), command);
  return cli::RunCli(args, env);
}

sim::SimFtdiDevice* Bench::Device() {
  // The stand-in library's board is built from the same sources as this
  // program's, so it is used as one of its own.
  if (g_stub.handle) return static_cast<sim::SimFtdiDevice*>(g_stub.device());
  return g_device.get();
}

void Bench::PowerCycle() {
  g_device.reset();
  if (g_stub.handle) g_stub.powerOff();
}

void Bench::Wait(uint32_t ms) {
  clock.AdvanceUs(uint64_t{ms} * 1000);
  if (sim::SimFtdiDevice* d = Device()) d->Sync();
}

bool Bench::UseStubLibrary() {
#ifdef VELMORA_FTDISTUB
  library = VELMORA_FTDISTUB;
  g_stub.handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(g_stub.handle, nullptr) << dlerror();
  if (!g_stub.handle) return false;
  Symbol("velmora_stub_set_clock", g_stub.setClock);
  Symbol("velmora_stub_device", g_stub.device);
  Symbol("velmora_stub_power_off", g_stub.powerOff);
  if (!g_stub.setClock || !g_stub.device || !g_stub.powerOff) return false;
  g_stub.setClock(&clock);
  return true;
#else
  return false;
#endif
}

ProgramData Bench::Demo(uint8_t dsp) {
  ProgramData program;
  MemoryInterfaceValues mi;
  mi.dspType = dsp;
  EXPECT_EQ(ReadCoffFile(DemoPath(), mi, program), kCoffOk);
  return program;
}

uint32_t Bench::SymbolAddress(const ProgramData& program, const std::string& name) {
  for (const CDataObject& s : program.symbols)
    if (s.name == name) return s.address;
  ADD_FAILURE() << "no symbol " << name;
  return 0;
}

}  // namespace velmora::e2e
