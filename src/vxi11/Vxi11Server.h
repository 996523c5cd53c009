#pragma once

// VXI-11 on the programs' event loop: the core channel where --vxi11 says, the abort channel on a
// port of its own, each link a SCPI client of the one instrument, and the program registered with
// the host's portmapper while it serves.

#include <chrono>
#include <cstddef>
#include <memory>

#include "net/EventLoop.h"
#include "net/Listen.h"
#include "scpi/Scpi.h"
#include "vxi11/Conversation.h"
#include "vxi11/Portmapper.h"

namespace vx::vxi11 {

struct ServerLimits {
  Limits protocol;
  std::size_t maxConnections = 8;  // on each channel
  // Replies waiting unsent to one client, past which its calls wait unread; a client that stays
  // past it for stallLimit is dropped.
  std::size_t maxUnsent = 64 * 1024;
  std::chrono::milliseconds stallLimit{10000};
  // How long a client may take over one record once it has begun, and over its first record from
  // when it connects; after that it may stay quiet.
  std::chrono::milliseconds recordTime{10000};
  std::chrono::milliseconds firstRecord{10000};
};

class Vxi11Server {
 public:
  // Listens from here on (std::system_error when it cannot), both channels, so that an address
  // that cannot be used stops the program before anything reaches the port.
  Vxi11Server(net::EventLoop& loop, const net::ListenAddress& where,
              std::unique_ptr<Portmapper> portmapper, ServerLimits limits = {});
  ~Vxi11Server();
  Vxi11Server(const Vxi11Server&) = delete;
  Vxi11Server& operator=(const Vxi11Server&) = delete;

  // Where the core channel listens (port 0 resolved).
  net::ListenAddress bound() const;
  // Serves while the loop runs, from now on. Registers with the portmapper meanwhile, on a thread
  // of its own, and says on the loop's log where it listens once rpcbind has answered, with a
  // line when the session could not be registered, and why; the entry it set goes once the loop
  // has stopped.
  void start(ScpiInstrument& instrument);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx::vxi11
