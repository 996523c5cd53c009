#pragma once

// The transports of a SCPI session: standard input and output, and TCP (standalone Asio).

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "scpi/Scpi.h"

namespace vx {

// Where a session listens: an IP address and a port. "5025" is 127.0.0.1:5025; IPv6 addresses
// go in brackets ("[::1]:5025"). Empty when the text is not one.
struct ListenAddress {
  std::string address = "127.0.0.1";
  std::uint16_t port = 0;
};
std::optional<ListenAddress> parseListenAddress(const std::string& text);
bool isLoopback(const ListenAddress& where);

// One client of a session: its bytes framed into lines, its own error queue and status.
class ScpiConnection {
 public:
  // Takes the client's next bytes and returns the answers of the lines they complete, each
  // ending in a newline. A line over 4 KiB or holding bytes that are not text costs only itself.
  std::string feed(std::string_view bytes, ScpiInstrument& instrument);

 private:
  ScpiClient client_;
  LineFramer framer_;
};

// Runs one client's session on a stream pair: one answer line for each line with queries, until
// the input ends.
void serveStream(std::istream& in, std::ostream& out, ScpiInstrument& instrument);

// A SCPI session over TCP. It listens from construction, so that an address that cannot be used
// (std::system_error) stops the program before anything reaches the port.
class TcpSession {
 public:
  explicit TcpSession(const ListenAddress& where, std::size_t maxClients = 8);
  ~TcpSession();
  TcpSession(const TcpSession&) = delete;
  TcpSession& operator=(const TcpSession&) = delete;

  // Serves until SIGINT or SIGTERM (Ctrl+C on Windows): at most maxClients at a time, their
  // commands one at a time on the one board. Says on log where it listens. Returns after the
  // signal; a run-time error from the port ends the session and is thrown from here.
  void serve(ScpiInstrument& instrument, std::ostream& log);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx
