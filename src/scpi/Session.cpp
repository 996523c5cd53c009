#include "scpi/Session.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <boost/asio.hpp>

#include "net/Outbox.h"
#include "net/Server.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace vx {

namespace {

namespace asio = boost::asio;
using boost::system::error_code;
using tcp = asio::ip::tcp;

struct Shared {
  net::Server& server;
  ScpiInstrument& instrument;
  const SessionLimits& limits;
};

// One TCP client: its own error queue and line framing; answers go out in order. Its lines run
// only while fewer than maxUnsent bytes of its answers wait to be sent; past that, reading stops
// until they drain, and a client that stays past it for stallLimit is dropped.
class Connection final : public net::Connection, private net::Outbox<Connection> {
 public:
  Connection(tcp::socket socket, Shared& shared)
      : net::Connection(shared.server, socket),
        Outbox(shared.server.io(), shared.limits.maxUnsent, shared.limits.stallLimit),
        socket_(std::move(socket)),
        shared_(shared) {}

  void start() override {
    net::keepAlive(socket_);
    read();
  }

 private:
  std::shared_ptr<Connection> shared() {
    return std::static_pointer_cast<Connection>(shared_from_this());
  }
  void shut() override {
    stopStallTimer();
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

  void read() {
    reading_ = true;
    socket_.async_read_some(asio::buffer(buffer_),
                            [self = shared()](error_code error, std::size_t n) {
                              self->reading_ = false;
                              if (self->ended()) return;
                              // The client left, perhaps in the middle of a line: that line is
                              // lost.
                              if (error) return self->end();
                              if (std::memchr(self->buffer_.data(), '\n', n)) self->commanded();
                              self->unread_.append(self->buffer_.data(), n);
                              self->process();
                            });
  }

  // Runs the lines read so far while the answers waiting stay under the cap; then reads on, or
  // waits for the answers to drain.
  void process() {
    bool http = false;
    const bool ran = guard([&] {
      while (!unread_.empty() && !full() && !http) {
        std::string answers;
        const auto fed = scpi_.feed(unread_, shared_.instrument, answers, room());
        unread_.erase(0, fed.used);
        if (!answers.empty()) send(std::move(answers));
        http = fed.http;
      }
    });
    if (!ran) return;
    if (http)
      return end(
          "it sent an HTTP request or a TLS handshake, as a web page in a browser can make it "
          "do; nothing more from it runs");
    if (!full()) {
      if (!reading_) read();
      return;
    }
    // Over the cap: read nothing more until the answers drain; drop a client that never reads.
    stall();
  }

  friend class net::Outbox<Connection>;
  tcp::socket& stream() { return socket_; }
  void writeFailed(error_code error) {
    end(fmt::format("writing to it failed: {}", error.message()));
  }
  void drained() { process(); }
  void stalledTooLong() {
    end(fmt::format("it read none of its answers for {} ms", shared_.limits.stallLimit.count()));
  }

  tcp::socket socket_;
  Shared& shared_;
  ScpiConnection scpi_{true};
  std::array<char, 4096> buffer_{};
  std::string unread_;  // bytes read but not yet run
  bool reading_ = false;
};

}  // namespace

namespace {

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool sameText(std::string_view a, std::string_view lowerCase) {
  if (a.size() != lowerCase.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if ((isLetter(a[i]) ? (a[i] | 0x20) : a[i]) != lowerCase[i]) return false;
  return true;
}
bool letters(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isLetter);
}

// The headers that every browser request carries, in lower case; a name ending in '-' stands
// for any name that goes on in letters.
constexpr std::string_view kBrowserHeaders[] = {
    "host",         "origin",         "referer",    "user-agent", "accept",  "accept-",
    "content-type", "content-length", "connection", "cookie",     "upgrade", "sec-fetch-"};

}  // namespace

bool looksLikeHttp(std::string_view line) {
  // A request line in any letter case: METHOD SP TARGET SP HTTP/VERSION. HTTP/2's connection
  // preface starts with one too ("PRI * HTTP/2.0").
  const auto first = line.find(' '), last = line.rfind(' ');
  if (first != std::string_view::npos && last > first + 1 && letters(line.substr(0, first)) &&
      line.substr(first + 1, last - first - 1).find(' ') == std::string_view::npos) {
    const auto version = line.substr(last + 1);
    if (version.size() > 5 && sameText(version.substr(0, 5), "http/") && version[5] >= '0' &&
        version[5] <= '9')
      return true;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  auto name = line.substr(0, colon);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (const std::string_view header : kBrowserHeaders) {
    if (header.back() != '-') {
      if (sameText(name, header)) return true;
    } else if (name.size() > header.size() && sameText(name.substr(0, header.size()), header) &&
               letters(name.substr(header.size()))) {
      return true;
    }
  }
  return false;
}

ScpiConnection::Fed ScpiConnection::feed(std::string_view bytes, ScpiInstrument& instrument,
                                         std::string& answers, std::size_t limit) {
  Fed fed;
  while (fed.used < bytes.size()) {
    const char byte = bytes[fed.used++];
    // A TLS record at the start of a connection: a handshake, whose names may hide a line.
    if (refuseHttp_ && seen_ < 2) {
      if (seen_++ == 0) {
        first_ = byte;
      } else if (first_ == 0x16 && byte == 0x03) {
        fed.http = true;
        break;
      }
    }
    const auto event = framer_.feed(byte);
    if (!event) continue;
    if (event->kind == LineFramer::Event::TooLong) {
      client_.error(-223, "Too much data");
    } else if (event->kind == LineFramer::Event::NotText) {
      client_.error(-101, "Invalid character");
    } else if (refuseHttp_ && looksLikeHttp(event->line)) {
      fed.http = true;
      break;
    } else if (const auto answer = instrument.execute(event->line, client_)) {
      answers += *answer + "\n";
      if (answers.size() >= limit) break;
    }
  }
  return fed;
}

std::string ScpiConnection::feed(std::string_view bytes, ScpiInstrument& instrument) {
  std::string answers;
  feed(bytes, instrument, answers, std::string::npos);
  return answers;
}

void serveStream(std::istream& in, std::ostream& out, ScpiInstrument& instrument) {
  ScpiConnection connection;
  std::streambuf& bytes = *in.rdbuf();
  for (int c = bytes.sbumpc(); c != std::char_traits<char>::eof(); c = bytes.sbumpc()) {
    const char byte = static_cast<char>(c);
    out << connection.feed(std::string_view(&byte, 1), instrument);
    if (byte == '\n') out.flush();
  }
}

struct TcpSession::State {
  State(EventLoop& loop, const ListenAddress& at, SessionLimits limits)
      : limits(limits),
        server(loop, at, "SCPI session",
               {.maxConnections = limits.maxClients, .firstCommand = limits.firstLine}),
        where(at) {}
  SessionLimits limits;
  net::Server server;
  ListenAddress where;
  std::unique_ptr<Shared> shared;
};

TcpSession::TcpSession(EventLoop& loop, const ListenAddress& where, SessionLimits limits)
    : state_(std::make_unique<State>(loop, where, limits)) {}

TcpSession::~TcpSession() = default;

ListenAddress TcpSession::bound() const {
  const auto at = state_->server.endpoint();
  return {at.address().to_string(), at.port()};
}

void TcpSession::start(ScpiInstrument& instrument, std::ostream& log) {
  State& s = *state_;
  s.shared = std::make_unique<Shared>(Shared{s.server, instrument, s.limits});
  s.server.start(
      log,
      [&s](tcp::socket socket) {
        return std::make_shared<Connection>(std::move(socket), *s.shared);
      },
      fmt::format("vx3340ctl: refused: this session already serves {} clients, the most it takes; "
                  "close one and connect again\n",
                  s.limits.maxClients));
  const auto at = s.server.endpoint();
  announce(log, "SCPI session on " + hostAndPort(at.address().to_string(), at.port()), s.where);
}

}  // namespace vx
