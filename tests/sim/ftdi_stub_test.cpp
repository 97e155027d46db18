// The stand-in libftdi1 called as a libftdi1 program calls it, on a virtual
// clock: results, the status bytes stripped from every packet, the read
// buffer kept between calls, and the flushes acting on the chip.
#include <gtest/gtest.h>

#ifdef VELMORA_FTDISTUB
#include <dlfcn.h>
#include <libftdi1/ftdi.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "podlink/FtdiBackends.h"
#include "podlink/PodLink.h"
#include "sim/SimFtdiDevice.h"

namespace velmora::sim::test {
namespace {

// The library's calls, looked up by name as a program would.
struct Stub {
  void* handle = nullptr;
  decltype(&::ftdi_new) new_ = nullptr;
  decltype(&::ftdi_free) free_ = nullptr;
  decltype(&::ftdi_usb_find_all) findAll = nullptr;
  decltype(&::ftdi_list_free) listFree = nullptr;
  decltype(&::ftdi_usb_get_strings) strings = nullptr;
  decltype(&::ftdi_usb_open_dev) open = nullptr;
  decltype(&::ftdi_set_baudrate) baud = nullptr;
  decltype(&::ftdi_set_latency_timer) setLatency = nullptr;
  decltype(&::ftdi_read_data) read = nullptr;
  decltype(&::ftdi_write_data) write = nullptr;
  decltype(&::ftdi_tciflush) iflush = nullptr;
  decltype(&::ftdi_tcoflush) oflush = nullptr;
  void (*setClock)(VirtualClock*) = nullptr;
  void* (*device)() = nullptr;
  void (*powerOff)() = nullptr;
  void (*configure)(const char*, const char* const*, const char* const*, int) = nullptr;

  template <typename Fn>
  void Get(const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    ASSERT_NE(fn, nullptr) << name;
  }
};

class FtdiStub : public ::testing::Test {
 protected:
  void SetUp() override {
    s.handle = dlopen(VELMORA_FTDISTUB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(s.handle, nullptr) << dlerror();
    s.Get("ftdi_new", s.new_);
    s.Get("ftdi_free", s.free_);
    s.Get("ftdi_usb_find_all", s.findAll);
    s.Get("ftdi_list_free", s.listFree);
    s.Get("ftdi_usb_get_strings", s.strings);
    s.Get("ftdi_usb_open_dev", s.open);
    s.Get("ftdi_set_baudrate", s.baud);
    s.Get("ftdi_set_latency_timer", s.setLatency);
    s.Get("ftdi_read_data", s.read);
    s.Get("ftdi_write_data", s.write);
    s.Get("ftdi_tciflush", s.iflush);
    s.Get("ftdi_tcoflush", s.oflush);
    s.Get("velmora_stub_set_clock", s.setClock);
    s.Get("velmora_stub_device", s.device);
    s.Get("velmora_stub_power_off", s.powerOff);
    s.Get("velmora_stub_configure", s.configure);
    dir =
        std::filesystem::temp_directory_path() / ("velmora_ftdistub_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    s.setClock(&clock);
    const char* keys[] = {"dsp"};
    const char* values[] = {"C31"};
    s.configure(dir.c_str(), keys, values, 1);
    ctx = s.new_();
    ASSERT_NE(ctx, nullptr);
  }
  void TearDown() override {
    if (ctx) s.free_(ctx);
    if (s.powerOff) s.powerOff();
    if (s.setClock) s.setClock(nullptr);
    if (s.handle) dlclose(s.handle);
    std::filesystem::remove_all(dir);
  }
  // Finds and opens the pod at 921600 baud with a 1 ms latency timer.
  void Open() {
    ftdi_device_list* list = nullptr;
    ASSERT_EQ(s.findAll(ctx, &list, 0, 0), 1);
    ASSERT_EQ(s.open(ctx, list->dev), 0);
    s.listFree(&list);
    EXPECT_EQ(list, nullptr);
    ASSERT_EQ(s.baud(ctx, 921600), 0);
    ASSERT_EQ(s.setLatency(ctx, 1), 0);
  }
  int Write(const std::string& text) {
    return s.write(ctx, reinterpret_cast<const unsigned char*>(text.data()),
                   static_cast<int>(text.size()));
  }
  SimFtdiDevice& Device() { return *static_cast<SimFtdiDevice*>(s.device()); }

  Stub s;
  VirtualClock clock;
  std::filesystem::path dir;
  ftdi_context* ctx = nullptr;
};

TEST_F(FtdiStub, ResultsFollowLibftdi) {
  unsigned char buffer[8];
  // Nothing open yet.
  EXPECT_EQ(s.read(ctx, buffer, 1), -666);
  EXPECT_EQ(Write("?"), -666);
  EXPECT_EQ(s.baud(ctx, 921600), -3);
  EXPECT_EQ(s.setLatency(ctx, 0), -1);

  ftdi_device_list* list = nullptr;
  ASSERT_EQ(s.findAll(ctx, &list, 0x0403, 0x6001), 1);
  char description[8], serial[64];
  ASSERT_EQ(
      s.strings(ctx, list->dev, nullptr, 0, description, sizeof description, serial, sizeof serial),
      0);
  EXPECT_STREQ(description, "USB POD");  // cut to the buffer, always ended
  EXPECT_STREQ(serial, "VSIM0001");
  ASSERT_EQ(s.open(ctx, list->dev), 0);
  EXPECT_EQ(ctx->type, TYPE_R);
  EXPECT_EQ(ctx->baudrate, 9600);  // as libftdi1 leaves a freshly opened chip
  // One user at a time: a second context cannot claim the interface.
  ftdi_context* other = s.new_();
  EXPECT_EQ(s.open(other, list->dev), -5);
  s.free_(other);
  s.listFree(&list);
  ASSERT_EQ(s.findAll(ctx, &list, 0x0403, 0x6010), 0);  // not an FT2232

  struct Rate {
    int baud, rc;
  };
  // The FT232R's divisors reach 921600 and 3 Mbaud within 5 %; 100 baud is
  // below the slowest divisor.
  for (const Rate r : {Rate{921600, 0}, Rate{3'000'000, 0}, Rate{100, -1}, Rate{-5, -1}})
    EXPECT_EQ(s.baud(ctx, r.baud), r.rc) << r.baud;
  ASSERT_EQ(s.baud(ctx, 921600), 0);

  // The transfers' time-outs: a read that the latency timer would end only
  // after usb_read_timeout fails as libusb's time-out; a write the chip
  // cannot take in usb_write_timeout fails with -1.
  ASSERT_EQ(s.setLatency(ctx, 255), 0);
  ctx->usb_read_timeout = 50;
  ctx->usb_write_timeout = 10;
  const uint64_t t = clock.NowUs();
  EXPECT_EQ(s.read(ctx, buffer, 1), -7);
  EXPECT_EQ(clock.NowUs() - t, 50'000u);
  EXPECT_EQ(Write(std::string(4000, 'x')), -1);
  EXPECT_EQ(Write(std::string(200, 'x')), 200);
}

TEST_F(FtdiStub, ReadsStripTheStatusBytesAndKeepWhatDidNotFit) {
  Open();
  ASSERT_EQ(Write("??"), 2);  // two replies, four bytes, in one packet
  clock.AdvanceUs(3'000);
  unsigned char buffer[8] = {};
  ASSERT_EQ(s.read(ctx, buffer, 1), 1);
  EXPECT_EQ(buffer[0], '?');
  EXPECT_EQ(ctx->readbuffer_remaining, 3u);
  // Served from the read buffer: no USB transfer, no time.
  const uint64_t t = clock.NowUs();
  ASSERT_EQ(s.read(ctx, buffer, 3), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "\x12?\x12");
  EXPECT_EQ(clock.NowUs(), t);
  // Nothing there: one transfer that ends with the latency timer, 0 bytes.
  ASSERT_EQ(s.read(ctx, buffer, 4), 0);
  EXPECT_LE(clock.NowUs() - t, 1'000u);

  // Replies that outnumber a packet arrive in several, each with its status
  // bytes taken out: 20 V commands give 80 bytes, two packets.
  std::string commands;
  for (int i = 0; i < 20; ++i) commands += "V00000000";
  ASSERT_EQ(Write(commands), static_cast<int>(commands.size()));
  clock.AdvanceUs(5'000);
  unsigned char replies[100];
  EXPECT_EQ(s.read(ctx, replies, 100), 80);

  // The receive flush drops the chip's bytes and libftdi1's buffer.
  ASSERT_EQ(Write("??"), 2);
  clock.AdvanceUs(3'000);
  ASSERT_EQ(s.read(ctx, buffer, 1), 1);
  ASSERT_EQ(s.iflush(ctx), 0);
  EXPECT_EQ(ctx->readbuffer_remaining, 0u);
  EXPECT_EQ(s.read(ctx, buffer, 4), 0);
}

TEST_F(FtdiStub, WritesReturnWhenTheChipHoldsThemAndTheTransmitFlushDropsThem) {
  Open();
  std::string batch;
  for (int i = 0; i < 7; ++i) batch += "S00000001";
  const uint64_t t = clock.NowUs();
  ASSERT_EQ(Write(batch), 63);
  EXPECT_EQ(clock.NowUs(), t);  // 63 bytes fit the chip's FIFO
  ASSERT_EQ(s.oflush(ctx), 0);
  clock.AdvanceUs(5'000);
  unsigned char buffer[4];
  s.read(ctx, buffer, 4);  // lets the board catch up
  EXPECT_EQ(Device().Pod().FramesSent(), 0u);
  // Given their wire time first, all seven arrive.
  ASSERT_EQ(Write(batch), 63);
  clock.AdvanceUs(700);
  ASSERT_EQ(s.oflush(ctx), 0);
  clock.AdvanceUs(5'000);
  s.read(ctx, buffer, 4);
  EXPECT_EQ(Device().Pod().FramesSent(), 7u);
}

// The libftdi backend on the library: an exchange costs the wire and one
// latency period at most, never a second transfer that waits for nothing.
TEST_F(FtdiStub, TheLibftdiBackendsExchangesWaitForOneLatencyPeriodAtMost) {
  s.free_(ctx);
  ctx = nullptr;
  VirtualMicroDelayer delayer(clock);
  FtdiBackendOptions options;
  options.values["library"] = VELMORA_FTDISTUB;
  CPodLink link([&](std::string& e) { return CreateLibFtdiBackend(options, e); }, clock, delayer);
  ASSERT_TRUE(link.LoadDriver() && link.FindDevice() && link.Open());
  for (int i = 0; i < 20; ++i) {
    const uint64_t t = clock.NowUs();
    uint32_t reply = 0;
    ASSERT_TRUE(link.ExchangeWordNoDelay(0x1000 + i, reply));
    // 13 bytes on the line (141 us), the pod's transfer, a latency period.
    EXPECT_LE(clock.NowUs() - t, 1'200u) << i;
  }
}

}  // namespace
}  // namespace velmora::sim::test
#endif
