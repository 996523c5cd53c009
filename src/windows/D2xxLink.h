#pragma once

// Windows only: the USB bridge's library, FTDI's D2XX (ftd2xx.dll), bound at run time.

#include <memory>
#include <string>

#include "usb/FtdiLink.h"

namespace vx {

// An FT232H (0403:6014), or an FT2232H's channel A (0403:6010), through ftd2xx.dll, which
// Windows installs with FTDI's driver: the one attached, or the one whose serial number or D2XX
// location ID ("usb:0x21") is `wanted`. The DLL is loaded by name at the first open, beside the
// program first and then from the system; a missing DLL is a failed open that says where the
// driver comes from.
std::unique_ptr<FtdiLibrary> makeD2xx(std::string wanted);

}  // namespace vx
