#pragma once

// The web panel over HTTP, on the program's event loop: each connection runs a WebConversation
// on its socket, with a deadline on every phase.

#include <memory>

#include "net/EventLoop.h"
#include "net/Listen.h"
#include "web/WebConversation.h"
#include "web/WebPanel.h"

namespace vx {

class WebServer {
 public:
  // Listens from here on: an address that cannot be used throws before anything reaches the port.
  WebServer(net::EventLoop& loop, const net::ListenAddress& where, WebLimits limits = {});
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Serves the panel while the loop runs; says on the loop's log where, and each client it drops.
  void start(WebPanel& panel);

  // The address and port it is bound to (the port the system picked for port 0).
  net::ListenAddress bound() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx
