#pragma once

// The transports of a SCPI session: standard input and output, and TCP (Boost.Asio).

#include <chrono>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "net/EventLoop.h"
#include "net/Listen.h"
#include "scpi/Scpi.h"

namespace vx {

// Whether a line is what a web browser sends: an HTTP request line in any letter case ("POST /
// HTTP/1.1", HTTP/2's "PRI * HTTP/2.0") or one of the headers every browser request carries
// ("Host: ..."). Any web page can make a browser send such a request to a loopback port, with a
// body of SCPI lines.
bool looksLikeHttp(std::string_view line);

// One client of a session: its bytes framed into lines, its own error queue and status.
class ScpiConnection {
 public:
  // refuseHttp: a line that looks like HTTP, or a TLS record at the start, ends the connection
  // (TCP, where browsers reach).
  explicit ScpiConnection(bool refuseHttp = false) : refuseHttp_(refuseHttp) {}

  // Takes the client's next bytes and returns the answers of the lines they complete, each
  // ending in a newline. A line over 4 KiB or holding bytes that are not text costs only itself.
  std::string feed(std::string_view bytes, ScpiInstrument& instrument);

  struct Fed {
    std::size_t used = 0;  // bytes taken
    bool http = false;     // the last line taken looked like HTTP, or TLS: run nothing more
  };
  // Takes bytes until they end, or until a completed line brings answers to at least limit
  // bytes, or a line looks like HTTP; appends the answers. The rest is left for a later call.
  Fed feed(std::string_view bytes, ScpiInstrument& instrument, std::string& answers,
           std::size_t limit);

  // The client's own status: its error queue and event status register.
  ScpiClient& client() { return client_; }

 private:
  ScpiClient client_;
  LineFramer framer_;
  bool refuseHttp_;
  std::size_t seen_ = 0;  // of the connection's first two bytes
  char first_ = 0;
};

// Runs one client's session on a stream pair: one answer line for each line with queries, until
// the input ends.
void serveStream(std::istream& in, std::ostream& out, ScpiInstrument& instrument);

// How much a TCP session lets each client hold: at most maxClients at once; at most
// maxUnsent bytes of answers not yet sent to a client, past which its lines wait unread, in TCP's
// own flow control; and a client that stays past that for stallLimit is dropped. A client that
// sends no whole line within firstLine of connecting is closed; after that it may stay quiet.
struct SessionLimits {
  std::size_t maxClients = 8;
  std::size_t maxUnsent = 64 * 1024;
  std::chrono::milliseconds stallLimit{10000};
  std::chrono::milliseconds firstLine{10000};
};

// A SCPI session over TCP, on a program's event loop. It listens from construction, so that an
// address that cannot be used (std::system_error) stops the program before anything reaches the
// port.
class TcpSession {
 public:
  TcpSession(net::EventLoop& loop, const net::ListenAddress& where, SessionLimits limits = {});
  ~TcpSession();
  TcpSession(const TcpSession&) = delete;
  TcpSession& operator=(const TcpSession&) = delete;

  // Serves while the loop runs: at most maxClients at a time, their commands one at a time on the
  // one board. Says on the loop's log where it listens, and each client it drops or refuses to
  // obey. A run-time error from the port ends the loop, which throws it.
  void start(ScpiInstrument& instrument);

  // The address and port it is bound to (the port the system picked for port 0).
  net::ListenAddress bound() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx
