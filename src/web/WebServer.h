#pragma once

// The web panel over HTTP (Boost.Beast), on the program's event loop.

#include <chrono>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "net/EventLoop.h"
#include "net/Listen.h"
#include "web/WebPanel.h"

namespace vx {

// What the server lets its clients hold: connections and event streams at once (one more is told
// why it is refused); a request's body; how long a request may take to arrive; and, as for a SCPI
// client, at most maxUnsent bytes of events waiting for a stream, past which it gets only the
// newest state once it drains, and a stream that stays past that for stallLimit is dropped.
struct WebLimits {
  std::size_t maxConnections = 32;
  std::size_t maxStreams = 16;
  std::size_t maxBody = 4096;
  std::chrono::milliseconds requestTime{30000};
  std::size_t maxUnsent = 64 * 1024;
  std::chrono::milliseconds stallLimit{10000};
  std::chrono::milliseconds keepAlive{15000};  // a comment to idle streams: finds clients gone
};

// One request as the server takes it, short of the socket: its bytes through the server's own
// parser and body limit to the panel, and the reply as the server writes it. For tests.
struct WebExchange {
  std::string reply;       // empty where the server would close without a word
  std::size_t used = 0;    // the bytes the request took
  bool keepAlive = false;  // whether the server would read another request
  bool events = false;     // whether the connection would become an event stream
};
// address and port are where the client reached the server.
WebExchange exchange(WebPanel& panel, std::string_view bytes, const std::string& address,
                     std::uint16_t port, std::size_t maxBody = WebLimits{}.maxBody);

class WebServer {
 public:
  // Listens from here on: an address that cannot be used throws before anything reaches the port.
  WebServer(EventLoop& loop, const ListenAddress& where, WebLimits limits = {});
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Serves the panel while the loop runs; says on log where, and each client it drops.
  void start(WebPanel& panel, std::ostream& log);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx
