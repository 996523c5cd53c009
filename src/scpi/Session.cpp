#include "scpi/Session.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <asio.hpp>

#include <array>
#include <charconv>
#include <csignal>
#include <deque>
#include <exception>
#include <memory>
#include <set>

namespace vx {

namespace {

class Server;

// One TCP client: its own error queue and line framing; answers go out in order.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(asio::ip::tcp::socket socket, Server& server)
      : socket_(std::move(socket)), server_(server) {}
  void start() { read(); }
  void close() {
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

 private:
  void read();
  void send(std::string text) {
    outbox_.push_back(std::move(text));
    if (outbox_.size() == 1) write();
  }
  void write() {
    asio::async_write(socket_, asio::buffer(outbox_.front()),
                      [self = shared_from_this()](std::error_code error, std::size_t) {
                        if (error) return;
                        self->outbox_.pop_front();
                        if (!self->outbox_.empty()) self->write();
                      });
  }

  asio::ip::tcp::socket socket_;
  Server& server_;
  ScpiConnection scpi_;
  std::array<char, 4096> buffer_{};
  std::deque<std::string> outbox_;
};

class Server {
 public:
  Server(asio::io_context& io, const asio::ip::tcp::endpoint& at, std::size_t maxClients)
      : io_(io), acceptor_(io, at), maxClients_(maxClients) {}

  asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  void use(ScpiInstrument& instrument) { instrument_ = &instrument; }
  ScpiInstrument& instrument() { return *instrument_; }

  void accept() {
    acceptor_.async_accept([this](std::error_code error, asio::ip::tcp::socket socket) {
      if (error) return;  // stopped
      if (connections_.size() < maxClients_) {
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
  void fail(std::exception_ptr error) {
    if (!error_) error_ = error;
    stop();
    io_.stop();
  }
  void stop() {
    std::error_code ignored;
    acceptor_.close(ignored);
    for (const auto& connection : connections_) connection->close();
    connections_.clear();
  }
  std::exception_ptr error() const { return error_; }

 private:
  void refuse(asio::ip::tcp::socket socket) {
    auto refused = std::make_shared<asio::ip::tcp::socket>(std::move(socket));
    auto text = std::make_shared<std::string>(fmt::format(
        "vx3340ctl: refused: this session already serves {} clients, the most it takes; close one "
        "and connect again\n",
        maxClients_));
    asio::async_write(*refused, asio::buffer(*text), [refused, text](std::error_code, std::size_t) {
      std::error_code ignored;
      refused->shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
      refused->close(ignored);
    });
  }

  asio::io_context& io_;
  asio::ip::tcp::acceptor acceptor_;
  ScpiInstrument* instrument_ = nullptr;
  std::size_t maxClients_;
  std::set<std::shared_ptr<Connection>> connections_;
  std::exception_ptr error_;
};

void Connection::read() {
  socket_.async_read_some(
      asio::buffer(buffer_), [self = shared_from_this()](std::error_code error, std::size_t n) {
        if (error) {  // the client left, perhaps in the middle of a line: that line is lost
          self->server_.closed(self);
          return;
        }
        try {
          std::string answers = self->scpi_.feed(std::string_view(self->buffer_.data(), n),
                                                 self->server_.instrument());
          if (!answers.empty()) self->send(std::move(answers));
        } catch (...) {
          self->server_.fail(std::current_exception());
          return;
        }
        self->read();
      });
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
  ListenAddress where;
  std::string_view port = text;
  const auto colon = text.rfind(':');
  if (colon != std::string::npos) {
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
      host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
      return std::nullopt;  // an IPv6 address needs its brackets
    std::error_code error;
    asio::ip::make_address(host, error);
    if (error) return std::nullopt;
    where.address = host;
    port.remove_prefix(colon + 1);
  }
  unsigned number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || number > 65535)
    return std::nullopt;
  where.port = static_cast<std::uint16_t>(number);
  return where;
}

bool isLoopback(const ListenAddress& where) {
  return asio::ip::make_address(where.address).is_loopback();
}

std::string ScpiConnection::feed(std::string_view bytes, ScpiInstrument& instrument) {
  std::string answers;
  for (char byte : bytes) {
    const auto event = framer_.feed(byte);
    if (!event) continue;
    if (event->kind == LineFramer::Event::TooLong) {
      client_.error(-223, "Too much data");
    } else if (event->kind == LineFramer::Event::NotText) {
      client_.error(-101, "Invalid character");
    } else if (const auto answer = instrument.execute(event->line, client_)) {
      answers += *answer + "\n";
    }
  }
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
  asio::io_context io;
  Server server;
  ListenAddress where;
  State(const ListenAddress& at, std::size_t maxClients)
      : server(io, {asio::ip::make_address(at.address), at.port}, maxClients), where(at) {}
};

TcpSession::TcpSession(const ListenAddress& where, std::size_t maxClients)
    : state_(std::make_unique<State>(where, maxClients)) {}

TcpSession::~TcpSession() = default;

void TcpSession::serve(ScpiInstrument& instrument, std::ostream& log) {
  Server& server = state_->server;
  server.use(instrument);
  asio::signal_set signals(state_->io, SIGINT, SIGTERM);
  signals.async_wait([&server](std::error_code error, int) {
    if (!error) server.stop();
  });
  server.accept();
  const auto at = server.endpoint();
  const std::string address = at.address().to_string();
  fmt::print(log, "vx3340ctl: SCPI session on {}{}{}:{}; SIGINT or SIGTERM ends it\n",
             at.address().is_v6() ? "[" : "", address, at.address().is_v6() ? "]" : "", at.port());
  if (!isLoopback(state_->where))
    fmt::print(log,
               "vx3340ctl: warning: listening on {}, not on loopback: anyone who can reach this "
               "port can drive the board\n",
               state_->where.address);
  log.flush();
  state_->io.run();
  if (server.error()) std::rethrow_exception(server.error());
}

}  // namespace vx
