#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// Why the ppdev backend could not claim a port or give its address: what it found, without the
// words. describe() turns it into the reason and the remedy the user reads.
struct PpdevFailure {
  enum class Kind {
    None,
    PortNumber,        // a port number below 1
    OtherPortClaimed,  // this program already holds another port
    UsbPrinter,        // a USB printer device, named or found behind the node
    NotPpdev,          // a device that is not ppdev's
    NoDevice,          // the node does not exist
    NoPortBehind,      // the node has no port the kernel lists
    Busy,              // another driver or program holds the port
    Permission,        // the node may not be opened
    OtherError,        // any other system error on open or claim
    NotClaimed,        // the address was asked for before a claim
    WrongPort,         // the address was asked for another port than the claimed one
    NoBaseFile,        // the kernel gives no base-addr entry
    NoIoAddress,       // the base-addr entry holds no I/O address
  };

  Kind kind = Kind::None;
  std::string path;       // the device
  std::int32_t port = 0;  // the port number asked for
  int error = 0;          // the system's error number, where there is one
  int kernelPort = -1;    // N in parportN
  std::int32_t claimedPort = 0;
  std::string claimedPath;
  std::string file;                      // the base-addr entry read
  std::vector<std::string> holders;      // drivers registered on a busy port, sorted
  std::vector<std::string> usbPrinters;  // USB printer devices found, sorted
};

// The reason and the remedy, one or more lines; empty for Kind::None.
std::string describe(const PpdevFailure& failure);

}  // namespace vx
