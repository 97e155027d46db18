// Backend registry, run-time loading and the libftdi1 emulation of the D2XX
// calls over a fake libftdi1 (no hardware needed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>

#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "podlink/FtdiBackends.h"
#include "podlink/LibFtdiBackend.h"
#include "podlink/PodLink.h"

namespace velmora::test {
namespace {

TEST(BackendRegistry, FactoriesGetTheOptionsUnknownNamesSaySoAndTheEnvironmentPicksTheDefault) {
  FtdiBackendOptions seen;
  RegisterFtdiBackend("test-echo", [&](const FtdiBackendOptions& o, std::string& error) {
    seen = o;
    error = "no device library in this test";
    return std::unique_ptr<FtdiApi>();
  });
  FtdiBackendOptions options;
  options.simDir = "/tmp/board";
  options.values["firmware"] = "0x11";
  std::string error;
  EXPECT_EQ(CreateFtdiBackend("test-echo", options, error), nullptr);
  EXPECT_EQ(error, "no device library in this test");
  EXPECT_EQ(seen.simDir, "/tmp/board");
  EXPECT_EQ(seen.values.at("firmware"), "0x11");
  const auto names = FtdiBackendNames();
  for (const char* name : {"test-echo", "ftdi", "d2xx"})
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  EXPECT_EQ(CreateFtdiBackend("nonsense", {}, error), nullptr);
  EXPECT_NE(error.find("unknown pod backend 'nonsense'"), std::string::npos);

  ::unsetenv(kPodBackendEnv);
  EXPECT_EQ(DefaultFtdiBackendName(), "ftdi");
  ::setenv(kPodBackendEnv, "", 1);
  EXPECT_EQ(DefaultFtdiBackendName(), "ftdi");
  ::setenv(kPodBackendEnv, "d2xx", 1);
  EXPECT_EQ(DefaultFtdiBackendName(), "d2xx");
  ::unsetenv(kPodBackendEnv);
}

TEST(BackendLoading, MissingLibrariesOrCallsFailLoadDriverCleanly) {
  for (const char* name : {"ftdi", "d2xx"}) {
    FtdiBackendOptions options;
    options.values["library"] = "/nonexistent/libmissing.so";
    VirtualClock clock;
    VirtualMicroDelayer delayer(clock);
    CPodLink link([&](std::string& error) { return CreateFtdiBackend(name, options, error); },
                  clock, delayer);
    EXPECT_FALSE(link.LoadDriver()) << name;
    EXPECT_NE(link.DriverError().find("/nonexistent/libmissing.so"), std::string::npos) << name;
    EXPECT_FALSE(link.FindDevice());
  }
  // The C library loads but has none of the device calls.
  FtdiBackendOptions options;
  options.values["library"] = "libc.so.6";
  std::string error;
  EXPECT_EQ(CreateD2xxBackend(options, error), nullptr);
  EXPECT_NE(error.find("has no FT_ListDevices"), std::string::npos) << error;
  EXPECT_EQ(CreateLibFtdiBackend(options, error), nullptr);
  EXPECT_NE(error.find("has no ftdi_"), std::string::npos) << error;
}

TEST(BackendLoading, InstalledLibftdiLoadsAndFindsNoPodWithoutHardware) {
  std::string error;
  auto api = CreateLibFtdiBackend({}, error);
  if (!api) GTEST_SKIP() << "libftdi1 not installed: " << error;
  DWORD count = 99;
  const FT_STATUS status = api->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
  if (status == FT_OK && count > 0) GTEST_SKIP() << "FTDI devices are attached";
  VirtualClock clock;
  VirtualMicroDelayer delayer(clock);
  CPodLink link([&](std::string&) { return std::move(api); }, clock, delayer);
  ASSERT_TRUE(link.LoadDriver());
  EXPECT_FALSE(link.FindDevice());
  EXPECT_FALSE(link.Open());
}

#ifdef VELMORA_HAVE_LIBFTDI

// A fake libftdi1: a few attached devices, one of which may be opened.
struct FakeUsbDevice {
  std::string product;
  bool unreadable = false;
};
struct FakeLibFtdi {
  std::vector<FakeUsbDevice> devices;
  int opened = -1;
  int contexts = 0;
  unsigned char latency = 16;
  int baud = 0;
  int flushes = 0;
  int reads = 0;  // ftdi_read_data calls: each one a USB transfer on hardware
  std::deque<unsigned char> rx;
  std::vector<unsigned char> written;
};
FakeLibFtdi* g_fake = nullptr;

int DeviceIndex(libusb_device* dev) {
  return static_cast<int>(reinterpret_cast<uintptr_t>(dev)) - 1;
}

LibFtdiFunctions FakeFunctions() {
  LibFtdiFunctions f;
  f.ftdi_new = []() -> ftdi_context* {
    ++g_fake->contexts;
    return new ftdi_context{};
  };
  f.ftdi_free = [](ftdi_context* ctx) {
    --g_fake->contexts;
    delete ctx;
  };
  f.ftdi_usb_find_all = [](ftdi_context*, ftdi_device_list** list, int, int) {
    *list = nullptr;
    for (int i = static_cast<int>(g_fake->devices.size()) - 1; i >= 0; --i)
      *list = new ftdi_device_list{*list, reinterpret_cast<libusb_device*>(uintptr_t(i + 1))};
    return static_cast<int>(g_fake->devices.size());
  };
  f.ftdi_list_free = [](ftdi_device_list** list) {
    while (*list) {
      ftdi_device_list* next = (*list)->next;
      delete *list;
      *list = next;
    }
  };
  f.ftdi_usb_get_strings = [](ftdi_context*, libusb_device* dev, char*, int, char* desc, int len,
                              char*, int) {
    const FakeUsbDevice& d = g_fake->devices[DeviceIndex(dev)];
    if (d.unreadable) return -4;
    if (desc) std::snprintf(desc, len, "%s", d.product.c_str());
    return 0;
  };
  f.ftdi_usb_open_dev = [](ftdi_context*, libusb_device* dev) {
    g_fake->opened = DeviceIndex(dev);
    return 0;
  };
  f.ftdi_usb_close = [](ftdi_context*) {
    g_fake->opened = -1;
    return 0;
  };
  f.ftdi_usb_reset = [](ftdi_context*) { return 0; };
  f.ftdi_tcioflush = [](ftdi_context* ctx) {
    ++g_fake->flushes;
    g_fake->rx.clear();
    ctx->readbuffer_remaining = 0;
    return 0;
  };
  f.ftdi_set_baudrate = [](ftdi_context*, int baud) {
    g_fake->baud = baud;
    return 0;
  };
  f.ftdi_set_line_property = [](ftdi_context*, ftdi_bits_type, ftdi_stopbits_type,
                                ftdi_parity_type) { return 0; };
  f.ftdi_setflowctrl = [](ftdi_context*, int) { return 0; };
  // One transfer brings everything waiting; what the caller did not ask
  // for stays in libftdi1's read buffer (counted in the context).
  f.ftdi_read_data = [](ftdi_context* ctx, unsigned char* buf, int size) {
    ++g_fake->reads;
    int n = 0;
    while (n < size && !g_fake->rx.empty()) {
      buf[n++] = g_fake->rx.front();
      g_fake->rx.pop_front();
    }
    ctx->readbuffer_remaining = static_cast<unsigned>(g_fake->rx.size());
    return n;
  };
  f.ftdi_write_data = [](ftdi_context*, const unsigned char* buf, int size) {
    g_fake->written.insert(g_fake->written.end(), buf, buf + size);
    if (size == 1 && buf[0] == '?') g_fake->rx.insert(g_fake->rx.end(), {'?', 0x12});
    return size;
  };
  f.ftdi_set_latency_timer = [](ftdi_context*, unsigned char l) {
    g_fake->latency = l;
    return 0;
  };
  f.ftdi_get_latency_timer = [](ftdi_context*, unsigned char* l) {
    *l = g_fake->latency;
    return 0;
  };
  return f;
}

class LibFtdiEmulation : public ::testing::Test {
 protected:
  void SetUp() override { g_fake = &fake; }
  void TearDown() override { g_fake = nullptr; }
  FakeLibFtdi fake;
};

TEST_F(LibFtdiEmulation, ListsProductStringsAsDescriptions) {
  fake.devices = {{"FT232R USB UART"}, {"USB POD", true}, {"USB POD"}};
  auto api = CreateLibFtdiApi(FakeFunctions());
  DWORD count = 0;
  ASSERT_EQ(api->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 3u);
  char buffer[64];
  ASSERT_EQ(api->FT_ListDevices(reinterpret_cast<void*>(uintptr_t{0}), buffer,
                                FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_OK);
  EXPECT_STREQ(buffer, "FT232R USB UART");
  EXPECT_NE(api->FT_ListDevices(reinterpret_cast<void*>(uintptr_t{1}), buffer,
                                FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_OK);
  EXPECT_NE(api->FT_ListDevices(reinterpret_cast<void*>(uintptr_t{7}), buffer,
                                FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_OK);
  char absent[] = "USB TRAMO";
  FT_HANDLE h = nullptr;
  EXPECT_EQ(api->FT_OpenEx(absent, FT_OPEN_BY_DESCRIPTION, &h), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(fake.opened, -1);
  EXPECT_EQ(fake.contexts, 0);  // every enumeration context released
}

TEST_F(LibFtdiEmulation, PodLinkFindsOpensAndTalksThroughIt) {
  fake.devices = {{"Other"}, {"USB Pod"}, {"USB TRAMO Writer"}};
  VirtualClock clock;
  VirtualMicroDelayer delayer(clock);
  {
    CPodLink link([](std::string&) { return CreateLibFtdiApi(FakeFunctions()); }, clock, delayer);
    ASSERT_TRUE(link.LoadDriver());
    ASSERT_TRUE(link.FindDevice());
    EXPECT_EQ(link.Description(), "USB TRAMO Writer");
    ASSERT_TRUE(link.Open());
    EXPECT_EQ(fake.opened, 2);
    EXPECT_EQ(fake.latency, 1);
    EXPECT_EQ(fake.baud, 921600);
    ASSERT_TRUE(link.ReadFirmwareVersion());
    EXPECT_EQ(link.FirmwareVersion(), 0x12);
    EXPECT_EQ(fake.written, std::vector<unsigned char>{'?'});
    // A command that expects no answer costs no USB read (each would wait
    // out the chip's latency timer on hardware).
    fake.reads = 0;
    ASSERT_TRUE(link.SendWord(0x1234));
    EXPECT_EQ(fake.reads, 0);
  }
  // Destroying the link closes the device and frees its context.
  EXPECT_EQ(fake.opened, -1);
  EXPECT_EQ(fake.contexts, 0);
}

TEST_F(LibFtdiEmulation, QueueAndReadsFollowD2xxSemantics) {
  fake.devices = {{"USB POD"}};
  auto api = CreateLibFtdiApi(FakeFunctions());
  char description[] = "USB POD";
  FT_HANDLE h = nullptr;
  ASSERT_EQ(api->FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
  ASSERT_EQ(api->FT_SetTimeouts(h, 20, 20), FT_OK);
  fake.rx = {1, 2, 3};
  DWORD queued = 0;
  ASSERT_EQ(api->FT_GetQueueStatus(h, &queued), FT_OK);
  EXPECT_EQ(queued, 3u);
  uint8_t buffer[4] = {};
  DWORD got = 0;
  ASSERT_EQ(api->FT_Read(h, buffer, 2, &got), FT_OK);
  EXPECT_EQ(got, 2u);
  // What is already on the host answers the queries without a USB read.
  const int reads = fake.reads;
  ASSERT_EQ(api->FT_GetQueueStatus(h, &queued), FT_OK);
  EXPECT_EQ(queued, 1u);
  DWORD rx0 = 0, tx0 = 0, event0 = 0;
  ASSERT_EQ(api->FT_GetStatus(h, &rx0, &tx0, &event0), FT_OK);
  EXPECT_EQ(rx0, 1u);
  EXPECT_EQ(fake.reads, reads);
  // Only one byte left: the read waits its time-out and returns what it has.
  ASSERT_EQ(api->FT_Read(h, buffer, 4, &got), FT_OK);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(buffer[0], 3);
  DWORD rx = 9, tx = 9, event = 9;
  ASSERT_EQ(api->FT_GetStatus(h, &rx, &tx, &event), FT_OK);
  EXPECT_EQ(rx, 0u);
  EXPECT_EQ(tx, 0u);
  fake.rx = {7};
  ASSERT_EQ(api->FT_GetQueueStatus(h, &queued), FT_OK);
  ASSERT_EQ(api->FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
  ASSERT_EQ(api->FT_GetQueueStatus(h, &queued), FT_OK);
  EXPECT_EQ(queued, 0u);  // the backend's own buffer is purged too
  EXPECT_EQ(api->FT_Close(h), FT_OK);
  EXPECT_EQ(api->FT_Close(h), FT_INVALID_HANDLE);
  EXPECT_EQ(api->FT_Read(h, buffer, 1, &got), FT_INVALID_HANDLE);
}

#endif

}  // namespace
}  // namespace velmora::test
