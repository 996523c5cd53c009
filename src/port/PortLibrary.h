#pragma once

#include <cstdint>
#include <string>

namespace vx {

// The port information record that GetParallelPortInfo fills: 12 bytes, little-endian.
struct PortInfoRecord {
  std::uint32_t size = 12;        // set by the caller
  std::int32_t baseAddress = 0;   // read after success
  std::uint8_t reserved[4] = {};  // zero on the call, not read
};
static_assert(sizeof(PortInfoRecord) == 12, "the library expects exactly 12 bytes");

// The five calls this program makes into the port-I/O library, and flush. Every backend (the
// simulated board, Linux ppdev, the Windows parllio DLL, the USB bridge) and every test double
// implements this.
class PortLibrary {
 public:
  virtual ~PortLibrary() = default;

  // Non-zero when the port was claimed.
  virtual std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) = 0;
  virtual std::int32_t GetParallelPortCount() = 0;
  // Non-zero when the record was filled.
  virtual std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) = 0;
  // The byte at an I/O address, 0..255.
  virtual std::int32_t InByte(std::int32_t address) = 0;
  // Writes the value's low 8 bits to an I/O address.
  virtual void OutByte(std::int32_t address, std::int32_t value) = 0;
  // Sends whatever the backend holds back: the program goes idle now. Called at the end of
  // start-up, of each pick and Read, and of each session command. Only the USB bridge queues;
  // every other backend does nothing. Deliberately without a default, so that each backend says
  // what it does; decorators pass it on, as every call, through ForwardingPortLibrary.
  virtual void flush() = 0;

  // Why the last claim or information query failed, and what the user can do about it.
  // Empty when the backend has nothing to add.
  virtual std::string failureReason() const { return {}; }
  // The device the port is emulated on ("the USB adapter"), for start-up's messages, which then
  // speak of it and not of a parallel port. Empty for a parallel port.
  virtual std::string adapter() const { return {}; }
};

}  // namespace vx
