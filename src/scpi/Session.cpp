#include "scpi/Session.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <boost/asio.hpp>

#include "net/Outbox.h"

#include <array>
#include <exception>
#include <memory>
#include <regex>
#include <set>

namespace vx {

namespace {

namespace asio = boost::asio;
using boost::system::error_code;

class Server;

// One TCP client: its own error queue and line framing; answers go out in order. Its lines run
// only while fewer than maxUnsent bytes of its answers wait to be sent; past that, reading stops
// until they drain, and a client that stays past it for stallLimit is dropped.
class Connection : public std::enable_shared_from_this<Connection>,
                   private net::Outbox<Connection> {
 public:
  Connection(asio::ip::tcp::socket socket, Server& server);
  void start() { read(); }
  void close() {
    closed_ = true;
    stopStallTimer();
    error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

 private:
  void read();
  // Runs the lines read so far while the answers waiting stay under the cap; then reads on, or
  // waits for the answers to drain.
  void process();
  void drop(const std::string& why);

  friend class net::Outbox<Connection>;
  asio::ip::tcp::socket& stream() { return socket_; }
  bool closed() const { return closed_; }
  void writeFailed(error_code error) {
    drop(fmt::format("writing to it failed: {}", error.message()));
  }
  void drained() { process(); }
  void stalledTooLong();

  asio::ip::tcp::socket socket_;
  Server& server_;
  std::string peer_;
  ScpiConnection scpi_{true};
  std::array<char, 4096> buffer_{};
  std::string unread_;  // bytes read but not yet run
  bool reading_ = false;
  bool closed_ = false;
};

class Server {
 public:
  Server(EventLoop& loop, const asio::ip::tcp::endpoint& at, SessionLimits limits)
      : loop_(loop), io_(loop.context()), acceptor_(io_, at), limits_(limits) {}

  asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  void use(ScpiInstrument& instrument, std::ostream& log) {
    instrument_ = &instrument;
    log_ = &log;
  }
  ScpiInstrument& instrument() { return *instrument_; }
  const SessionLimits& limits() const { return limits_; }
  asio::io_context& io() { return io_; }
  // One line on the session's log.
  void say(const std::string& line) {
    fmt::print(*log_, "vx3340ctl: {}\n", line);
    log_->flush();
  }

  void accept() {
    acceptor_.async_accept([this](error_code error, asio::ip::tcp::socket socket) {
      if (error) return;  // stopped
      if (connections_.size() < limits_.maxClients) {
        auto connection = std::make_shared<Connection>(std::move(socket), *this);
        connections_.insert(connection);
        connection->start();
      } else {
        refuse(std::move(socket));
      }
      accept();
    });
  }
  void closed(const std::shared_ptr<Connection>& connection) { connections_.erase(connection); }
  // A command's run-time error ends the whole session.
  void fail(std::exception_ptr error) { loop_.fail(error); }
  void stop() {
    error_code ignored;
    acceptor_.close(ignored);
    for (const auto& connection : connections_) connection->close();
    connections_.clear();
  }

 private:
  void refuse(asio::ip::tcp::socket socket) {
    auto refused = std::make_shared<asio::ip::tcp::socket>(std::move(socket));
    auto text = std::make_shared<std::string>(fmt::format(
        "vx3340ctl: refused: this session already serves {} clients, the most it takes; close one "
        "and connect again\n",
        limits_.maxClients));
    asio::async_write(*refused, asio::buffer(*text), [refused, text](error_code, std::size_t) {
      error_code ignored;
      refused->shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
      refused->close(ignored);
    });
  }

  EventLoop& loop_;
  asio::io_context& io_;
  asio::ip::tcp::acceptor acceptor_;
  ScpiInstrument* instrument_ = nullptr;
  std::ostream* log_ = nullptr;
  SessionLimits limits_;
  std::set<std::shared_ptr<Connection>> connections_;
};

std::string peerName(const asio::ip::tcp::socket& socket) {
  error_code error;
  const auto at = socket.remote_endpoint(error);
  if (error) return "a client";
  const auto address = at.address();
  return address.is_v6() ? fmt::format("[{}]:{}", address.to_string(), at.port())
                         : fmt::format("{}:{}", address.to_string(), at.port());
}

Connection::Connection(asio::ip::tcp::socket socket, Server& server)
    : Outbox(server.io(), server.limits().maxUnsent, server.limits().stallLimit),
      socket_(std::move(socket)),
      server_(server),
      peer_(peerName(socket_)) {}

void Connection::read() {
  reading_ = true;
  socket_.async_read_some(
      asio::buffer(buffer_), [self = shared_from_this()](error_code error, std::size_t n) {
        self->reading_ = false;
        if (self->closed_) return;
        if (error) {  // the client left, perhaps in the middle of a line: that line is lost
          self->closed_ = true;
          self->stopStallTimer();
          self->server_.closed(self);
          return;
        }
        self->unread_.append(self->buffer_.data(), n);
        self->process();
      });
}

void Connection::process() {
  try {
    while (!unread_.empty() && !full()) {
      std::string answers;
      const auto fed = scpi_.feed(unread_, server_.instrument(), answers, room());
      unread_.erase(0, fed.used);
      if (!answers.empty()) send(std::move(answers));
      if (fed.http) {
        drop(
            "it sent an HTTP request, as a web page in a browser can make it do; nothing more "
            "from it runs");
        return;
      }
    }
  } catch (...) {
    server_.fail(std::current_exception());
    return;
  }
  if (!full()) {
    if (!reading_) read();
    return;
  }
  // Over the cap: read nothing more until the answers drain; drop a client that never reads.
  stall();
}

void Connection::stalledTooLong() {
  drop(fmt::format("it read none of its answers for {} ms", server_.limits().stallLimit.count()));
}

// Ends the connection for a reason the log gives in one line. The board keeps its state.
void Connection::drop(const std::string& why) {
  if (closed_) return;
  server_.say(fmt::format("dropped {}: {}", peer_, why));
  close();
  server_.closed(shared_from_this());
}

}  // namespace

bool looksLikeHttp(std::string_view line) {
  static const std::regex request(
      "(GET|HEAD|POST|PUT|DELETE|OPTIONS|PATCH|CONNECT|TRACE) [^ ]+ HTTP/1\\..*");
  static const std::regex header(
      "(host|origin|referer|user-agent|accept|accept-[a-z]+|content-type|content-length|"
      "connection|cookie|upgrade|sec-fetch-[a-z]+) *:.*",
      std::regex::icase);
  return std::regex_match(line.begin(), line.end(), request) ||
         std::regex_match(line.begin(), line.end(), header);
}

ScpiConnection::Fed ScpiConnection::feed(std::string_view bytes, ScpiInstrument& instrument,
                                         std::string& answers, std::size_t limit) {
  Fed fed;
  while (fed.used < bytes.size()) {
    const auto event = framer_.feed(bytes[fed.used++]);
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
  Server server;
  State(EventLoop& loop, const ListenAddress& at, SessionLimits limits)
      : server(loop, {asio::ip::make_address(at.address), at.port}, limits) {}
};

TcpSession::TcpSession(EventLoop& loop, const ListenAddress& where, SessionLimits limits)
    : state_(std::make_unique<State>(loop, where, limits)) {
  loop.onStop([this] { state_->server.stop(); });
}

TcpSession::~TcpSession() = default;

void TcpSession::start(ScpiInstrument& instrument, std::ostream& log) {
  Server& server = state_->server;
  server.use(instrument, log);
  server.accept();
  const auto at = server.endpoint();
  announce(log, "SCPI session on " + hostAndPort(at.address().to_string(), at.port()),
           {at.address().to_string(), at.port()});
}

}  // namespace vx
