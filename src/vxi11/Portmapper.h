#pragma once

// The host's portmapper (rpcbind), where RPC clients look up the port of a program: VISA finds
// TCPIP::host::INSTR there.

#include <cstdint>
#include <memory>

namespace vx::vxi11 {

class Portmapper {
 public:
  virtual ~Portmapper() = default;
  // Maps the program's version on TCP to port, in place of any older mapping; false when no
  // portmapper takes it.
  virtual bool set(std::uint32_t program, std::uint32_t version, std::uint16_t port) = 0;
  // Takes the mapping away again.
  virtual void unset(std::uint32_t program, std::uint32_t version) = 0;
};

// The local rpcbind, through libtirpc.
std::unique_ptr<Portmapper> makeSystemPortmapper();

}  // namespace vx::vxi11
