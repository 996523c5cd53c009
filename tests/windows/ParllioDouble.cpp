// A stand-in for parllio.dll: the five functions the program calls, with the library's stdcall
// signatures, exported under their plain names (the build links with --kill-at). It writes one
// line per call to a log and plays a parallel port, so that tests can check what reaches the
// library.
//
// Set through the environment, read at every call (but PARLLIO_CONTROL) so that a test can
// change it between calls:
//   PARLLIO_LOG          file that gets one line per call (none: no log)
//   PARLLIO_BASE         port 1's base address in hex (default 378), or "none": there is no port
//   PARLLIO_CLAIM        "refuse": ClaimParallelPort fails
//   PARLLIO_FLAGS        the byte the board drives onto the data lines (hex, default 2A)
//   PARLLIO_CONTROL      the control register at the first call (hex, default CC)
//   PARLLIO_INBYTE_HIGH  bits ORed into every InByte result (hex, default 0)
//
// Success results carry junk in their upper 16 bits and failures have only upper bits set, as
// the 16-bit results of the real library may: a caller that reads 32 bits gets them wrong.
#include <cstdint>
#include <cstring>

#define VX_DOUBLE_LOG "PARLLIO_LOG"
#include "DoubleSupport.h"

namespace {

// The port, whose control register starts as PARLLIO_CONTROL says when the DLL is first called.
PortRegisters& registers() {
  static PortRegisters p{0, hexFromEnvironment("PARLLIO_CONTROL", 0xCC)};
  return p;
}

long base() {
  return hexFromEnvironment("PARLLIO_BASE", 0x378);
}

constexpr long kJunk = 0x5A5A0000;  // upper bits that a 16-bit result does not have

}  // namespace

VX_EXPORT long __stdcall ClaimParallelPort(long port, long mode) {
  const bool refuse = environment("PARLLIO_CLAIM") == "refuse";
  const long result = refuse ? 0x00010000 : kJunk | 0xFFFF;
  log("ClaimParallelPort {} {} -> 0x{:08X}", port, mode, result);
  return result;
}

#ifndef VX_PARLLIO_PARTIAL  // the partial copy lacks this one
VX_EXPORT long __stdcall GetParallelPortCount() {
  const long count = environment("PARLLIO_BASE") == "none" ? 0 : 1;
  log("GetParallelPortCount -> {}", count);
  return count;
}
#endif

// The record: 32-bit size (12), 32-bit base address, 4 bytes that are zero on the call.
VX_EXPORT long __stdcall GetParallelPortInfo(long port, unsigned char* record) {
  std::uint32_t size = 0;
  std::memcpy(&size, record, 4);
  const bool reservedZero = record[8] == 0 && record[9] == 0 && record[10] == 0 && record[11] == 0;
  if (environment("PARLLIO_BASE") == "none" || port != 1 || size != 12 || !reservedZero) {
    log("GetParallelPortInfo {} size={} reserved={} -> 0x00020000", port, size,
        reservedZero ? "zero" : "set");
    return 0x00020000;
  }
  const std::int32_t address = static_cast<std::int32_t>(base());
  std::memcpy(record + 4, &address, 4);
  std::memset(record + 8, 0xEE, 4);  // the library may use these bytes; the caller ignores them
  log("GetParallelPortInfo {} size=12 reserved=zero -> 0x{:08X} base=0x{:03X}", port, kJunk | 1,
      address);
  return kJunk | 1;
}

VX_EXPORT long __stdcall InByte(long address) {
  const unsigned value =
      registers().read(address - base(), true, hexFromEnvironment("PARLLIO_FLAGS", 0x2A)) |
      hexFromEnvironment("PARLLIO_INBYTE_HIGH", 0);
  log("InByte 0x{:03X} -> 0x{:02X}", address, value);
  return static_cast<long>(value);
}

VX_EXPORT void __stdcall OutByte(long address, long value) {
  registers().write(address - base(), value);
  log("OutByte 0x{:03X} 0x{:08X}", address, static_cast<unsigned long>(value));
}
