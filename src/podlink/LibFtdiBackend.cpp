// libftdi1 behind the D2XX-shaped seam. libftdi1 has no receive queue query,
// and each of its reads is a USB transfer that the chip ends only when its
// latency timer runs out or a packet fills, so the backend keeps a receive
// buffer of its own: reads wait on it up to the read time-out, as D2XX reads
// do; queue queries count what is already on the host (that buffer and the
// bytes libftdi1 holds from its last transfer) and go to the chip only when
// that is nothing. Writes are synchronous in libftdi1 (they return once the
// chip holds the bytes), so the transmit queue is always reported empty.
#include "podlink/LibFtdiBackend.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "podlink/DynamicLibrary.h"
#include "podlink/FtdiBackends.h"

namespace velmora {

#ifdef VELMORA_HAVE_LIBFTDI

namespace {

constexpr int kFtdiVendorAny = 0;  // libftdi1 then looks for FTDI's own ids
constexpr size_t kDescriptionBytes = 64;

class LibFtdiApi : public FtdiApi {
 public:
  LibFtdiApi(const LibFtdiFunctions& f, std::shared_ptr<void> keepAlive)
      : f_(f), keepAlive_(std::move(keepAlive)) {}

  ~LibFtdiApi() override {
    for (Device* d : devices_) Release(d);
  }

  FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) override {
    if (flags & FT_LIST_NUMBER_ONLY) {
      if (!arg1) return FT_INVALID_PARAMETER;
      int count = 0;
      if (!Enumerate([&](ftdi_context*, libusb_device*) {
            ++count;
            return false;
          }))
        return FT_OTHER_ERROR;
      *static_cast<DWORD*>(arg1) = static_cast<DWORD>(count);
      return FT_OK;
    }
    if ((flags & FT_LIST_BY_INDEX) &&
        (flags & (FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_SERIAL_NUMBER))) {
      if (!arg2) return FT_INVALID_PARAMETER;
      const auto wanted = static_cast<DWORD>(reinterpret_cast<uintptr_t>(arg1));
      DWORD index = 0;
      FT_STATUS status = FT_DEVICE_NOT_FOUND;
      if (!Enumerate([&](ftdi_context* ctx, libusb_device* dev) {
            if (index++ != wanted) return false;
            char text[kDescriptionBytes] = {};
            const bool byDescription = flags & FT_OPEN_BY_DESCRIPTION;
            const int rc = f_.ftdi_usb_get_strings(
                ctx, dev, nullptr, 0, byDescription ? text : nullptr,
                byDescription ? sizeof text : 0, byDescription ? nullptr : text,
                byDescription ? 0 : sizeof text);
            if (rc == 0) {
              text[sizeof text - 1] = 0;
              std::memcpy(arg2, text, sizeof text);
              status = FT_OK;
            }
            return true;
          }))
        return FT_OTHER_ERROR;
      return status;
    }
    return FT_INVALID_PARAMETER;
  }

  FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) override {
    if (!arg || !handle) return FT_INVALID_PARAMETER;
    if (!(flags & (FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_SERIAL_NUMBER))) return FT_INVALID_PARAMETER;
    const std::string wanted(static_cast<const char*>(arg));
    ftdi_context* ctx = f_.ftdi_new();
    if (!ctx) return FT_OTHER_ERROR;
    ftdi_device_list* list = nullptr;
    if (f_.ftdi_usb_find_all(ctx, &list, kFtdiVendorAny, 0) < 0) {
      f_.ftdi_free(ctx);
      return FT_OTHER_ERROR;
    }
    bool opened = false;
    for (ftdi_device_list* it = list; it && !opened; it = it->next) {
      char text[kDescriptionBytes] = {};
      const bool byDescription = flags & FT_OPEN_BY_DESCRIPTION;
      if (f_.ftdi_usb_get_strings(ctx, it->dev, nullptr, 0, byDescription ? text : nullptr,
                                  byDescription ? sizeof text : 0, byDescription ? nullptr : text,
                                  byDescription ? 0 : sizeof text) != 0)
        continue;
      text[sizeof text - 1] = 0;
      if (wanted == text) opened = f_.ftdi_usb_open_dev(ctx, it->dev) == 0;
    }
    f_.ftdi_list_free(&list);
    if (!opened) {
      f_.ftdi_free(ctx);
      return FT_DEVICE_NOT_FOUND;
    }
    auto* device = new Device{ctx, {}, 300, 300};
    ApplyTimeouts(device);
    devices_.insert(device);
    *handle = device;
    return FT_OK;
  }

  FT_STATUS FT_Close(FT_HANDLE h) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    devices_.erase(d);
    const int rc = f_.ftdi_usb_close(d->ctx);
    f_.ftdi_free(d->ctx);
    delete d;
    return rc == 0 ? FT_OK : FT_IO_ERROR;
  }

  FT_STATUS FT_ResetDevice(FT_HANDLE h) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    d->pending.clear();
    return Status(f_.ftdi_usb_reset(d->ctx));
  }

  FT_STATUS FT_GetLatencyTimer(FT_HANDLE h, UCHAR* timer) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if (!timer) return FT_INVALID_PARAMETER;
    return Status(f_.ftdi_get_latency_timer(d->ctx, timer));
  }

  FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR timer) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    return Status(f_.ftdi_set_latency_timer(d->ctx, timer));
  }

  FT_STATUS FT_SetBaudRate(FT_HANDLE h, DWORD baud) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    return Status(f_.ftdi_set_baudrate(d->ctx, static_cast<int>(baud)));
  }

  // D2XX and libftdi1 share the numbering of word length, stop bits and parity.
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR bits, UCHAR stop, UCHAR parity) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if ((bits != 7 && bits != 8) || (stop != 0 && stop != 2) || parity > 4)
      return FT_INVALID_PARAMETER;
    return Status(f_.ftdi_set_line_property(d->ctx, static_cast<ftdi_bits_type>(bits),
                                            static_cast<ftdi_stopbits_type>(stop),
                                            static_cast<ftdi_parity_type>(parity)));
  }

  // FT_FLOW_NONE, RTS_CTS and DTR_DSR have the values of libftdi1's SIO_* modes.
  FT_STATUS FT_SetFlowControl(FT_HANDLE h, USHORT flow, UCHAR, UCHAR) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if (flow != 0 && flow != 0x100 && flow != 0x200) return FT_INVALID_PARAMETER;
    return Status(f_.ftdi_setflowctrl(d->ctx, flow));
  }

  FT_STATUS FT_SetTimeouts(FT_HANDLE h, DWORD readMs, DWORD writeMs) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    d->readTimeoutMs = readMs;
    d->writeTimeoutMs = writeMs;
    ApplyTimeouts(d);
    return FT_OK;
  }

  FT_STATUS FT_Purge(FT_HANDLE h, DWORD mask) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    int rc = 0;
    const bool rx = mask & FT_PURGE_RX, tx = mask & FT_PURGE_TX;
    if (rx) d->pending.clear();
    if (rx && tx && f_.ftdi_tcioflush) {
      rc = f_.ftdi_tcioflush(d->ctx);
    } else if (rx && f_.ftdi_tciflush) {
      rc = f_.ftdi_tciflush(d->ctx);
      if (rc == 0 && tx && f_.ftdi_tcoflush) rc = f_.ftdi_tcoflush(d->ctx);
    } else if (tx && f_.ftdi_tcoflush) {
      rc = f_.ftdi_tcoflush(d->ctx);
    } else if ((rx || tx) && f_.ftdi_usb_purge_buffers) {
      rc = f_.ftdi_usb_purge_buffers(d->ctx);
    }
    return Status(rc);
  }

  FT_STATUS FT_Write(FT_HANDLE h, void* buffer, DWORD count, DWORD* written) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if (!written || (!buffer && count)) return FT_INVALID_PARAMETER;
    *written = 0;
    if (count == 0) return FT_OK;
    const int rc = f_.ftdi_write_data(d->ctx, static_cast<const unsigned char*>(buffer),
                                      static_cast<int>(count));
    if (rc < 0) return FT_IO_ERROR;
    *written = static_cast<DWORD>(rc);
    return FT_OK;
  }

  FT_STATUS FT_Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* read) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if (!read || (!buffer && count)) return FT_INVALID_PARAMETER;
    *read = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(d->readTimeoutMs);
    while (d->pending.size() < count) {
      const int got = Poll(d, count - d->pending.size());
      if (got < 0) return FT_IO_ERROR;
      if (got > 0) continue;
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const size_t n = std::min<size_t>(count, d->pending.size());
    if (n) std::memcpy(buffer, d->pending.data(), n);
    d->pending.erase(d->pending.begin(), d->pending.begin() + static_cast<ptrdiff_t>(n));
    *read = static_cast<DWORD>(n);
    return FT_OK;
  }

  FT_STATUS FT_GetQueueStatus(FT_HANDLE h, DWORD* rx) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if (!rx) return FT_INVALID_PARAMETER;
    const int got = Buffered(d) == 0 ? Poll(d, 1) : 0;
    *rx = static_cast<DWORD>(Buffered(d));
    return got < 0 ? FT_IO_ERROR : FT_OK;
  }

  FT_STATUS FT_GetStatus(FT_HANDLE h, DWORD* rx, DWORD* tx, DWORD* event) override {
    Device* d = Find(h);
    if (!d) return FT_INVALID_HANDLE;
    if (!rx || !tx || !event) return FT_INVALID_PARAMETER;
    *rx = static_cast<DWORD>(Buffered(d));
    *tx = 0;
    *event = 0;
    return FT_OK;
  }

 private:
  struct Device {
    ftdi_context* ctx;
    std::vector<uint8_t> pending;
    DWORD readTimeoutMs;
    DWORD writeTimeoutMs;
  };

  static FT_STATUS Status(int rc) { return rc == 0 ? FT_OK : FT_IO_ERROR; }

  Device* Find(FT_HANDLE h) const {
    auto it = devices_.find(static_cast<Device*>(h));
    return it == devices_.end() ? nullptr : *it;
  }

  void ApplyTimeouts(Device* d) {
    d->ctx->usb_read_timeout = static_cast<int>(d->readTimeoutMs);
    d->ctx->usb_write_timeout = static_cast<int>(d->writeTimeoutMs);
  }

  // Received bytes already on the host.
  static size_t Buffered(const Device* d) {
    return d->pending.size() + d->ctx->readbuffer_remaining;
  }

  // Moves up to `wanted` received bytes into the receive buffer; bytes moved
  // or < 0. ftdi_read_data goes on with USB transfers until it has all it was
  // asked for or one brings nothing, which on the chip lasts until its
  // latency timer runs out; asked for no more than is needed, it returns as
  // soon as that has come and keeps the rest of the transfer for later calls.
  int Poll(Device* d, size_t wanted) {
    unsigned char chunk[512];
    const int got =
        f_.ftdi_read_data(d->ctx, chunk, static_cast<int>(std::min(wanted, sizeof chunk)));
    if (got > 0) d->pending.insert(d->pending.end(), chunk, chunk + got);
    return got;
  }

  void Release(Device* d) {
    f_.ftdi_usb_close(d->ctx);
    f_.ftdi_free(d->ctx);
    delete d;
  }

  // Calls visit(ctx, dev) for each attached FTDI device until it returns true.
  template <typename Visit>
  bool Enumerate(Visit visit) {
    ftdi_context* ctx = f_.ftdi_new();
    if (!ctx) return false;
    ftdi_device_list* list = nullptr;
    const int n = f_.ftdi_usb_find_all(ctx, &list, kFtdiVendorAny, 0);
    if (n >= 0) {
      for (ftdi_device_list* it = list; it; it = it->next)
        if (visit(ctx, it->dev)) break;
    }
    if (list) f_.ftdi_list_free(&list);
    f_.ftdi_free(ctx);
    return n >= 0;
  }

  LibFtdiFunctions f_;
  std::shared_ptr<void> keepAlive_;
  std::set<Device*> devices_;
};

std::vector<std::string> LibFtdiNames(const FtdiBackendOptions& options) {
  auto it = options.values.find("library");
  if (it != options.values.end() && !it->second.empty()) return {it->second};
#ifdef _WIN32
  return {"libftdi1.dll"};
#elif defined(__APPLE__)
  return {"libftdi1.2.dylib", "libftdi1.dylib"};
#else
  return {"libftdi1.so.2", "libftdi1.so"};
#endif
}

}  // namespace

std::unique_ptr<FtdiApi> CreateLibFtdiApi(const LibFtdiFunctions& functions,
                                          std::shared_ptr<void> keepAlive) {
  return std::make_unique<LibFtdiApi>(functions, std::move(keepAlive));
}

std::unique_ptr<FtdiApi> CreateLibFtdiBackend(const FtdiBackendOptions& options,
                                              std::string& error) {
  auto lib = std::make_shared<DynamicLibrary>();
  if (!lib->Open(LibFtdiNames(options), error)) return nullptr;
  LibFtdiFunctions f;
  const char* missing = nullptr;
  auto need = [&](const char* name, auto& fn) {
    if (!lib->Resolve(name, fn) && !missing) missing = name;
  };
  need("ftdi_new", f.ftdi_new);
  need("ftdi_free", f.ftdi_free);
  need("ftdi_usb_find_all", f.ftdi_usb_find_all);
  need("ftdi_list_free", f.ftdi_list_free);
  need("ftdi_usb_get_strings", f.ftdi_usb_get_strings);
  need("ftdi_usb_open_dev", f.ftdi_usb_open_dev);
  need("ftdi_usb_close", f.ftdi_usb_close);
  need("ftdi_usb_reset", f.ftdi_usb_reset);
  need("ftdi_set_baudrate", f.ftdi_set_baudrate);
  need("ftdi_set_line_property", f.ftdi_set_line_property);
  need("ftdi_setflowctrl", f.ftdi_setflowctrl);
  need("ftdi_read_data", f.ftdi_read_data);
  need("ftdi_write_data", f.ftdi_write_data);
  need("ftdi_set_latency_timer", f.ftdi_set_latency_timer);
  need("ftdi_get_latency_timer", f.ftdi_get_latency_timer);
  lib->Resolve("ftdi_tcioflush", f.ftdi_tcioflush);
  lib->Resolve("ftdi_tciflush", f.ftdi_tciflush);
  lib->Resolve("ftdi_tcoflush", f.ftdi_tcoflush);
  lib->Resolve("ftdi_usb_purge_buffers", f.ftdi_usb_purge_buffers);
  if (!missing && !f.ftdi_tcioflush && !f.ftdi_usb_purge_buffers) missing = "ftdi_tcioflush";
  if (missing) {
    error = lib->LoadedName() + " has no " + missing;
    return nullptr;
  }
  // The project's stand-in library puts the virtual board behind the libftdi1
  // calls; it takes the board's folder and options from here. libftdi1
  // itself has no such call.
  void (*configure)(const char*, const char* const*, const char* const*, int) = nullptr;
  if (lib->Resolve("velmora_stub_configure", configure)) {
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : options.values) {
      if (key == "library") continue;
      keys.push_back(key.c_str());
      values.push_back(value.c_str());
    }
    configure(options.simDir.empty() ? nullptr : options.simDir.c_str(), keys.data(), values.data(),
              static_cast<int>(keys.size()));
  }
  return CreateLibFtdiApi(f, lib);
}

#else

std::unique_ptr<FtdiApi> CreateLibFtdiBackend(const FtdiBackendOptions&, std::string& error) {
  error = "this build has no libftdi1 support (libftdi1-dev was missing)";
  return nullptr;
}

#endif

}  // namespace velmora
