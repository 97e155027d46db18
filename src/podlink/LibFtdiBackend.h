// The libftdi1 backend's function table. The production table comes from
// libftdi1.so.2 opened at run time; tests hand in their own functions to run
// the D2XX emulation against a fake enumeration.
#pragma once

#include <memory>
#include <string>

#include "podlink/FtdiApi.h"

#if __has_include(<libftdi1/ftdi.h>)
#include <libftdi1/ftdi.h>
#define VELMORA_HAVE_LIBFTDI 1

namespace velmora {

struct LibFtdiFunctions {
  decltype(&::ftdi_new) ftdi_new = nullptr;
  decltype(&::ftdi_free) ftdi_free = nullptr;
  decltype(&::ftdi_usb_find_all) ftdi_usb_find_all = nullptr;
  decltype(&::ftdi_list_free) ftdi_list_free = nullptr;
  decltype(&::ftdi_usb_get_strings) ftdi_usb_get_strings = nullptr;
  decltype(&::ftdi_usb_open_dev) ftdi_usb_open_dev = nullptr;
  decltype(&::ftdi_usb_close) ftdi_usb_close = nullptr;
  decltype(&::ftdi_usb_reset) ftdi_usb_reset = nullptr;
  decltype(&::ftdi_tcioflush) ftdi_tcioflush = nullptr;  // 1.5 and later
  decltype(&::ftdi_tciflush) ftdi_tciflush = nullptr;
  decltype(&::ftdi_tcoflush) ftdi_tcoflush = nullptr;
  int (*ftdi_usb_purge_buffers)(ftdi_context*) = nullptr;  // before 1.5
  decltype(&::ftdi_set_baudrate) ftdi_set_baudrate = nullptr;
  decltype(&::ftdi_set_line_property) ftdi_set_line_property = nullptr;
  decltype(&::ftdi_setflowctrl) ftdi_setflowctrl = nullptr;
  decltype(&::ftdi_read_data) ftdi_read_data = nullptr;
  decltype(&::ftdi_write_data) ftdi_write_data = nullptr;
  decltype(&::ftdi_set_latency_timer) ftdi_set_latency_timer = nullptr;
  decltype(&::ftdi_get_latency_timer) ftdi_get_latency_timer = nullptr;
};

// keepAlive holds whatever the functions live in (the opened library).
std::unique_ptr<FtdiApi> CreateLibFtdiApi(const LibFtdiFunctions& functions,
                                          std::shared_ptr<void> keepAlive = nullptr);

}  // namespace velmora
#endif
