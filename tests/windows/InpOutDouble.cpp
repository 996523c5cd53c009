// A stand-in for InpOut32's inpout32.dll (1.5): the four functions the program binds, with
// InpOut's stdcall signatures, exported under their plain names (the build links with
// --kill-at). It writes one line per call to a log and plays an ECP parallel port.
//
// Set through the environment, read at every call:
//   INPOUT_LOG        file that gets one line per call (none: no log)
//   INPOUT_BASE       the port's base address in hex (default D010)
//   INPOUT_ECR        its extended control register's address in hex (default D002), or none
//   INPOUT_ECR_STUCK  "1": that register keeps the SPP mode it starts in, whatever is written
//   INPOUT_DRIVER     "closed": IsInpOutDriverOpen says the driver is not open
//   INPOUT_XP64       "1": IsXP64Bit says Windows is 64-bit
// The board drives 2A onto the data lines; the control register starts at CC.
//
// Accesses to the port's three registers are logged in the trace's own words ("InByte 0xD012
// -> 0xCC", "OutByte 0xD010 0xC0"), so that a test can lay the two side by side; accesses to any
// other address as Inp32 and Out32. Addresses and values show all 16 bits they arrive with.
#define VX_DOUBLE_LOG "INPOUT_LOG"
#include "DoubleSupport.h"

namespace {

// The port and its extended control register, in SPP mode (its power-on mode, where the direction
// bit does nothing: the data register reads what the port drives), interrupts off, FIFO empty.
struct Registers : PortRegisters {
  unsigned ecr = 0x15;
};

Registers& registers() {
  static Registers r;
  return r;
}

unsigned base() {
  return hexFromEnvironment("INPOUT_BASE", 0xD010);
}
bool isEcr(unsigned address) {
  return environment("INPOUT_ECR") != "none" && address == hexFromEnvironment("INPOUT_ECR", 0xD002);
}

}  // namespace

VX_EXPORT short __stdcall Inp32(short address) {
  Registers& r = registers();
  const unsigned a = static_cast<unsigned short>(address), offset = a - base();
  const bool reversible = environment("INPOUT_ECR") == "none" || r.ecr >> 5;
  const unsigned value = offset > 2 && isEcr(a) ? r.ecr : r.read(offset, reversible, 0x2A);
  log(offset <= 2 ? "InByte 0x{:03X} -> 0x{:02X}" : "Inp32 0x{:04X} -> 0x{:02X}", a, value);
  return static_cast<short>(value);
}

VX_EXPORT void __stdcall Out32(short address, short value) {
  Registers& r = registers();
  const unsigned a = static_cast<unsigned short>(address), v = static_cast<unsigned short>(value);
  r.write(a - base(), v);
  if (isEcr(a) && environment("INPOUT_ECR_STUCK") != "1") r.ecr = (v & 0xFC) | (r.ecr & 0x03);
  log(a - base() <= 2 ? "OutByte 0x{:03X} 0x{:02X}" : "Out32 0x{:04X} 0x{:02X}", a, v);
}

VX_EXPORT int __stdcall IsInpOutDriverOpen() {
  const int open = environment("INPOUT_DRIVER") == "closed" ? 0 : 1;
  log("IsInpOutDriverOpen -> {}", open);
  return open;
}

VX_EXPORT int __stdcall IsXP64Bit() {
  const int xp64 = environment("INPOUT_XP64") == "1" ? 1 : 0;
  log("IsXP64Bit -> {}", xp64);
  return xp64;
}
