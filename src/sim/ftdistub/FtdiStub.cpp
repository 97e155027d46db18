// A stand-in for libftdi1 1.5 with the virtual board behind it: the calls the
// pod link's libftdi backend loads, with libftdi1's arguments, results and
// buffering, talking to the modelled FT232R over its raw USB transfers instead
// of libusb. Loading it with --pod=ftdi --pod-library=<this file> runs the
// real backend code against the board.
//
// The board's folder and options: the backend hands over --sim-dir and the
// --sim-KEY=VALUE values through velmora_stub_configure when the library has
// it; for a program that does not (any libftdi1 client), and for what the
// program left out, the environment gives them: VELMORA_SIM_DIR, and
// VELMORA_SIM_OPTIONS as KEY=VALUE pairs separated by commas.
//
// Tests that run the programs in their own process add three calls: one
// virtual clock for host and board (velmora_stub_set_clock, before the board
// is built), the board (velmora_stub_device) and switching it off
// (velmora_stub_power_off: the flash is saved, the next call builds a new
// board from the folder).
#include <libftdi1/ftdi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "sim/VirtualBoard.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using velmora::sim::SimFtdiDevice;

constexpr int kFtdiVendor = 0x0403;
constexpr int kFt232rProduct = 0x6001;
constexpr unsigned kChunk = 4096;  // libftdi1's default read and write chunk sizes
constexpr int kDefaultUsbTimeoutMs = 5000;

struct Stub {
  std::mutex mutex;
  velmora::FtdiBackendOptions options;
  velmora::VirtualClock* clock = nullptr;
  std::unique_ptr<SimFtdiDevice> device;
  bool failed = false;
};

Stub& State() {
  static Stub stub;
  return stub;
}

// libusb's device and handle are opaque; these addresses stand for the one pod.
char g_usbDevice;
char g_usbHandle;
libusb_device* PodDevice() {
  return reinterpret_cast<libusb_device*>(&g_usbDevice);
}
libusb_device_handle* PodHandle() {
  return reinterpret_cast<libusb_device_handle*>(&g_usbHandle);
}

// What the environment gives, where the program gave nothing.
void OptionsFromEnvironment(velmora::FtdiBackendOptions* options) {
  if (const char* dir = std::getenv("VELMORA_SIM_DIR"); dir && options->simDir.empty())
    options->simDir = dir;
  if (const char* list = std::getenv("VELMORA_SIM_OPTIONS")) {
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
      const size_t eq = item.find('=');
      if (eq != std::string::npos && eq > 0)
        options->values.try_emplace(item.substr(0, eq), item.substr(eq + 1));
    }
  }
}

// The board, built on first use; null when its folder or options are bad
// (said once on stderr, as the "sim" backend would).
SimFtdiDevice* Pod() {
  Stub& s = State();
  std::lock_guard lock(s.mutex);
  if (s.device || s.failed) return s.device.get();
  OptionsFromEnvironment(&s.options);
  std::string error;
  s.device = velmora::sim::OpenVirtualBoard(s.options, &error, s.clock);
  if (!s.device) {
    s.failed = true;
    std::cerr << error << "\n";
  }
  return s.device.get();
}

bool Opened(const ftdi_context* ftdi) {
  return ftdi && ftdi->usb_dev == PodHandle();
}

int Fail(ftdi_context* ftdi, int code, const char* text) {
  if (ftdi) ftdi->error_str = text;
  return code;
}

void DropReadBuffer(ftdi_context* ftdi) {
  ftdi->readbuffer_offset = 0;
  ftdi->readbuffer_remaining = 0;
}

// Whether libftdi1 would accept the rate: the chip's nearest divisor must
// give a rate within about 5 % of what was asked.
bool BaudAcceptable(int baud) {
  if (baud <= 0) return false;
  const double ratio = SimFtdiDevice::ChipBaud(static_cast<uint32_t>(baud)) / baud;
  return ratio > 20.0 / 21.0 && ratio < 21.0 / 20.0;
}

}  // namespace

// Hands over the board's folder and the --sim-KEY=VALUE values before the
// first enumeration; later calls change nothing.
STUB_EXPORT void velmora_stub_configure(const char* simDir, const char* const* keys,
                                        const char* const* values, int count) {
  Stub& s = State();
  std::lock_guard lock(s.mutex);
  if (s.device || s.failed) return;
  s.options = {};
  if (simDir) s.options.simDir = simDir;
  for (int i = 0; i < count; ++i)
    if (keys[i] && values[i]) s.options.values[keys[i]] = values[i];
}

STUB_EXPORT void velmora_stub_set_clock(velmora::VirtualClock* clock) {
  Stub& s = State();
  std::lock_guard lock(s.mutex);
  s.clock = clock;
}

STUB_EXPORT void* velmora_stub_device() {
  Stub& s = State();
  std::lock_guard lock(s.mutex);
  return s.device.get();
}

STUB_EXPORT void velmora_stub_power_off() {
  Stub& s = State();
  std::unique_ptr<SimFtdiDevice> device;
  {
    std::lock_guard lock(s.mutex);
    device = std::move(s.device);
    s.failed = false;
  }
  device.reset();  // saves the flash
}

STUB_EXPORT struct ftdi_context* ftdi_new(void) {
  auto* ftdi = static_cast<ftdi_context*>(std::calloc(1, sizeof(ftdi_context)));
  if (!ftdi) return nullptr;
  ftdi->usb_read_timeout = kDefaultUsbTimeoutMs;
  ftdi->usb_write_timeout = kDefaultUsbTimeoutMs;
  ftdi->type = TYPE_BM;
  ftdi->baudrate = -1;
  ftdi->readbuffer_chunksize = kChunk;
  ftdi->writebuffer_chunksize = kChunk;
  ftdi->readbuffer = static_cast<unsigned char*>(std::malloc(kChunk));
  ftdi->interface = 0;
  ftdi->index = INTERFACE_A;
  ftdi->in_ep = 0x02;
  ftdi->out_ep = 0x81;
  ftdi->module_detach_mode = AUTO_DETACH_SIO_MODULE;
  if (!ftdi->readbuffer) {
    std::free(ftdi);
    return nullptr;
  }
  return ftdi;
}

STUB_EXPORT int ftdi_usb_close(struct ftdi_context* ftdi) {
  if (!ftdi) return Fail(ftdi, -3, "ftdi context invalid");
  if (Opened(ftdi)) {
    if (SimFtdiDevice* pod = Pod()) pod->UsbClose();
  }
  ftdi->usb_dev = nullptr;
  return 0;
}

STUB_EXPORT void ftdi_free(struct ftdi_context* ftdi) {
  if (!ftdi) return;
  ftdi_usb_close(ftdi);
  std::free(ftdi->readbuffer);
  std::free(ftdi);
}

STUB_EXPORT int ftdi_usb_find_all(struct ftdi_context* ftdi, struct ftdi_device_list** devlist,
                                  int vendor, int product) {
  if (!devlist) return Fail(ftdi, -3, "out of memory");
  *devlist = nullptr;
  const bool wanted =
      (vendor == 0 && product == 0) || (vendor == kFtdiVendor && product == kFt232rProduct);
  SimFtdiDevice* pod = Pod();
  if (!wanted || !pod || !pod->Present()) return 0;
  auto* entry = static_cast<ftdi_device_list*>(std::malloc(sizeof(ftdi_device_list)));
  if (!entry) return Fail(ftdi, -3, "out of memory");
  entry->next = nullptr;
  entry->dev = PodDevice();
  *devlist = entry;
  return 1;
}

STUB_EXPORT void ftdi_list_free(struct ftdi_device_list** devlist) {
  if (!devlist) return;
  for (ftdi_device_list* it = *devlist; it;) {
    ftdi_device_list* next = it->next;
    std::free(it);
    it = next;
  }
  *devlist = nullptr;
}

STUB_EXPORT int ftdi_usb_get_strings(struct ftdi_context* ftdi, struct libusb_device* dev,
                                     char* manufacturer, int mnf_len, char* description,
                                     int desc_len, char* serial, int serial_len) {
  if (!ftdi || !dev) return Fail(ftdi, -1, "wrong arguments");
  SimFtdiDevice* pod = Pod();
  if (dev != PodDevice() || !pod || !pod->Present()) return Fail(ftdi, -4, "usb_open() failed");
  // As libusb_get_string_descriptor_ascii: cut to the buffer, always ended.
  auto put = [](char* out, int len, const char* text) {
    if (!out || len <= 0) return;
    std::snprintf(out, static_cast<size_t>(len), "%s", text);
  };
  put(manufacturer, mnf_len, "FTDI");
  put(description, desc_len, SimFtdiDevice::kDescription);
  put(serial, serial_len, SimFtdiDevice::kSerialNumber);
  return 0;
}

STUB_EXPORT int ftdi_usb_open_dev(struct ftdi_context* ftdi, struct libusb_device* dev) {
  if (!ftdi) return Fail(ftdi, -8, "ftdi context invalid");
  SimFtdiDevice* pod = Pod();
  if (dev != PodDevice() || !pod) return Fail(ftdi, -4, "usb_open() failed");
  const int rc = pod->UsbOpen();
  if (rc == SimFtdiDevice::kUsbBusy)
    return Fail(ftdi, -5,
                "unable to claim usb device. Make sure the default FTDI driver is not in use");
  if (rc != SimFtdiDevice::kUsbOk) return Fail(ftdi, -4, "usb_open() failed");
  ftdi->usb_dev = PodHandle();
  ftdi->type = TYPE_R;
  ftdi->max_packet_size = SimFtdiDevice::kUsbPacket;
  DropReadBuffer(ftdi);
  // libftdi1 resets the chip and sets 9600 baud on every open.
  if (pod->UsbReset() != SimFtdiDevice::kUsbOk) {
    ftdi->usb_dev = nullptr;
    pod->UsbClose();
    return Fail(ftdi, -6, "ftdi_usb_reset failed");
  }
  if (pod->UsbSetBaud(9600) != SimFtdiDevice::kUsbOk) {
    ftdi->usb_dev = nullptr;
    pod->UsbClose();
    return Fail(ftdi, -7, "set baudrate failed");
  }
  ftdi->baudrate = 9600;
  return 0;
}

STUB_EXPORT int ftdi_usb_reset(struct ftdi_context* ftdi) {
  if (!Opened(ftdi)) return Fail(ftdi, -2, "USB device unavailable");
  if (Pod()->UsbReset() != SimFtdiDevice::kUsbOk) return Fail(ftdi, -1, "FTDI reset failed");
  DropReadBuffer(ftdi);
  return 0;
}

STUB_EXPORT int ftdi_tciflush(struct ftdi_context* ftdi) {
  if (!Opened(ftdi)) return Fail(ftdi, -2, "USB device unavailable");
  if (Pod()->UsbPurge(true, false) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -1, "FTDI purge of RX buffer failed");
  DropReadBuffer(ftdi);
  return 0;
}

STUB_EXPORT int ftdi_tcoflush(struct ftdi_context* ftdi) {
  if (!Opened(ftdi)) return Fail(ftdi, -2, "USB device unavailable");
  if (Pod()->UsbPurge(false, true) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -1, "FTDI purge of TX buffer failed");
  return 0;
}

STUB_EXPORT int ftdi_tcioflush(struct ftdi_context* ftdi) {
  if (!Opened(ftdi)) return Fail(ftdi, -3, "USB device unavailable");
  if (Pod()->UsbPurge(true, false) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -1, "FTDI purge of RX buffer failed");
  DropReadBuffer(ftdi);
  if (Pod()->UsbPurge(false, true) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -2, "FTDI purge of TX buffer failed");
  return 0;
}

STUB_EXPORT int ftdi_usb_purge_buffers(struct ftdi_context* ftdi) {
  return ftdi_tcioflush(ftdi);
}

STUB_EXPORT int ftdi_set_baudrate(struct ftdi_context* ftdi, int baudrate) {
  if (!Opened(ftdi)) return Fail(ftdi, -3, "USB device unavailable");
  if (!BaudAcceptable(baudrate))
    return Fail(ftdi, -1,
                "Unsupported baudrate. Note: bitbang baudrates are automatically multiplied by 4");
  if (Pod()->UsbSetBaud(static_cast<uint32_t>(baudrate)) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -2, "Setting new baudrate failed");
  ftdi->baudrate = baudrate;
  return 0;
}

STUB_EXPORT int ftdi_set_line_property(struct ftdi_context* ftdi, enum ftdi_bits_type bits,
                                       enum ftdi_stopbits_type sbit, enum ftdi_parity_type parity) {
  if (!Opened(ftdi)) return Fail(ftdi, -2, "USB device unavailable");
  if (Pod()->UsbSetLine(static_cast<uint8_t>(bits), static_cast<uint8_t>(sbit),
                        static_cast<uint8_t>(parity)) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -1, "Setting new line property failed");
  return 0;
}

STUB_EXPORT int ftdi_setflowctrl(struct ftdi_context* ftdi, int flowctrl) {
  if (!Opened(ftdi)) return Fail(ftdi, -2, "USB device unavailable");
  (void)flowctrl;  // the pod's line has no handshake wires; any mode reads as none
  return Pod()->Present() ? 0 : Fail(ftdi, -1, "set flow control failed");
}

STUB_EXPORT int ftdi_set_latency_timer(struct ftdi_context* ftdi, unsigned char latency) {
  if (latency < 1) return Fail(ftdi, -1, "latency out of range. Only valid for 1-255");
  if (!Opened(ftdi)) return Fail(ftdi, -3, "USB device unavailable");
  if (Pod()->UsbSetLatency(latency) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -2, "unable to set latency timer");
  return 0;
}

STUB_EXPORT int ftdi_get_latency_timer(struct ftdi_context* ftdi, unsigned char* latency) {
  if (!Opened(ftdi)) return Fail(ftdi, -2, "USB device unavailable");
  if (!latency || Pod()->UsbGetLatency(latency) != SimFtdiDevice::kUsbOk)
    return Fail(ftdi, -1, "reading latency timer failed");
  return 0;
}

// libftdi1's read: bytes left from the last transfer first, then USB
// transfers of readbuffer_chunksize until the request is met or a transfer
// brings nothing but status bytes; each 64-byte packet's two status bytes are
// dropped, and what does not fit stays in the read buffer for the next call.
STUB_EXPORT int ftdi_read_data(struct ftdi_context* ftdi, unsigned char* buf, int size) {
  if (!Opened(ftdi)) return Fail(ftdi, -666, "USB device unavailable");
  const int packet = static_cast<int>(ftdi->max_packet_size);
  if (packet == 0) return Fail(ftdi, -1, "max_packet_size is bogus (zero)");
  if (size <= static_cast<int>(ftdi->readbuffer_remaining)) {
    std::memcpy(buf, ftdi->readbuffer + ftdi->readbuffer_offset, static_cast<size_t>(size));
    ftdi->readbuffer_remaining -= static_cast<unsigned>(size);
    ftdi->readbuffer_offset += static_cast<unsigned>(size);
    return size;
  }
  int offset = 0;
  if (ftdi->readbuffer_remaining != 0) {
    std::memcpy(buf, ftdi->readbuffer + ftdi->readbuffer_offset, ftdi->readbuffer_remaining);
    offset += static_cast<int>(ftdi->readbuffer_remaining);
  }
  size_t actual = 1;
  while (offset < size && actual > 0) {
    ftdi->readbuffer_remaining = 0;
    ftdi->readbuffer_offset = 0;
    const int rc =
        Pod()->UsbBulkIn(ftdi->readbuffer, ftdi->readbuffer_chunksize,
                         static_cast<uint32_t>(std::max(ftdi->usb_read_timeout, 0)), &actual);
    if (rc < 0) return Fail(ftdi, rc, "usb bulk read failed");
    if (actual <= 2) return offset;  // status bytes only: nothing more now
    // Squeeze the status bytes out of every packet.
    const size_t total = actual;
    size_t data = 0;
    for (size_t at = 0; at < total; at += static_cast<size_t>(packet)) {
      const size_t end = std::min(total, at + static_cast<size_t>(packet));
      if (end - at <= 2) continue;
      std::memmove(ftdi->readbuffer + data, ftdi->readbuffer + at + 2, end - at - 2);
      data += end - at - 2;
    }
    actual = data;
    if (data == 0) continue;
    if (offset + static_cast<int>(data) <= size) {
      std::memcpy(buf + offset, ftdi->readbuffer, data);
      offset += static_cast<int>(data);
      if (offset == size) return offset;
    } else {
      const int part = size - offset;
      std::memcpy(buf + offset, ftdi->readbuffer, static_cast<size_t>(part));
      ftdi->readbuffer_offset = static_cast<unsigned>(part);
      ftdi->readbuffer_remaining = static_cast<unsigned>(data) - static_cast<unsigned>(part);
      return size;
    }
  }
  return offset;
}

// libftdi1's write: synchronous transfers of writebuffer_chunksize, each done
// when the chip's FIFO holds its bytes.
STUB_EXPORT int ftdi_write_data(struct ftdi_context* ftdi, const unsigned char* buf, int size) {
  if (!Opened(ftdi)) return Fail(ftdi, -666, "USB device unavailable");
  int offset = 0;
  while (offset < size) {
    const int chunk = std::min(size - offset, static_cast<int>(ftdi->writebuffer_chunksize));
    size_t done = 0;
    const int rc =
        Pod()->UsbBulkOut(buf + offset, static_cast<size_t>(chunk),
                          static_cast<uint32_t>(std::max(ftdi->usb_write_timeout, 0)), &done);
    if (rc < 0) return Fail(ftdi, -1, "usb bulk write failed");
    offset += static_cast<int>(done);
  }
  return offset;
}
