#pragma once

#include <memory>
#include <string>

#include "usb/FtdiLink.h"

namespace vx {

// The USB bridge's library on Debian's libftdi1 (libusb-1.0 beneath it): an FT232H (0403:6014) or
// an FT2232H's channel A (0403:6010), the one attached, or the one whose serial number or USB
// location ("usb:1-2") is `wanted`. The kernel's ftdi_sio serial driver is detached while the
// adapter is open and takes it back when it closes.
std::unique_ptr<FtdiLibrary> makeLibFtdi(std::string wanted);

}  // namespace vx
