#pragma once

// The host's portmapper (rpcbind), where RPC clients look up the port of a program: VISA finds
// TCPIP::host::INSTR there.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace vx::vxi11 {

// Where a program's version is mapped on TCP: an IPv4 address ("0.0.0.0": every one) and a port,
// and who set it, as rpcbind says ("superuser", or a user id). Port 0: not mapped.
struct Mapping {
  std::string address = "0.0.0.0";
  std::uint16_t port = 0;
  std::string owner = {};
};

class Portmapper {
 public:
  using Deadline = std::chrono::steady_clock::time_point;
  virtual ~Portmapper() = default;

  // Each call waits for rpcbind until deadline at most, and throws std::runtime_error, saying
  // why, when none answered ("no portmapper (rpcbind) runs here", or it did not answer in time).

  // What the program's version is mapped to on TCP.
  virtual Mapping lookup(std::uint32_t program, std::uint32_t version, Deadline deadline) = 0;
  // Maps it; false when rpcbind refuses, as it does while another mapping is there.
  virtual bool set(std::uint32_t program, std::uint32_t version, const Mapping& at,
                   Deadline deadline) = 0;
  // Takes the mapping away; false when rpcbind refuses, as it does when another user (not root)
  // set it.
  virtual bool unset(std::uint32_t program, std::uint32_t version, Deadline deadline) = 0;
  // Whether the program answers its null call at a mapping (0.0.0.0 is asked on loopback).
  // Never throws: a port that does not answer in time does not answer.
  virtual bool answers(const Mapping& at, std::uint32_t program, std::uint32_t version,
                       Deadline deadline) = 0;
  // From another thread: the call under way ends at once and fails, and so does every call until
  // resume().
  virtual void interrupt() = 0;
  virtual void resume() = 0;
};

// The local rpcbind, through libtirpc, over its Unix socket.
std::unique_ptr<Portmapper> makeSystemPortmapper();

}  // namespace vx::vxi11
