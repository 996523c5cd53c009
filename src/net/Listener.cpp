#include "net/Listener.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace vx::net {

namespace {

using boost::system::error_code;

// How long a refused client is given to take its refusal before it is closed.
constexpr std::chrono::seconds kRefusalTime{1};
// Accept's failures, and the addresses of silent clients, are said at most this often: a flood
// would otherwise fill the log.
constexpr std::chrono::minutes kAcceptWarningEvery{1};
constexpr std::chrono::minutes kSilentSaidEvery{1};
// The most addresses of silent clients remembered at once; past it, new ones go unsaid.
constexpr std::size_t kSilentAddresses = 256;

// The client's address ("" when it has gone) and its port.
std::pair<std::string, std::uint16_t> peerOf(const tcp::socket& socket) {
  error_code error;
  const auto at = socket.remote_endpoint(error);
  if (error) return {};
  return {unmapped(at.address()).to_string(), at.port()};
}

}  // namespace

Connection::Connection(Listener& listener, const tcp::socket& socket)
    : listener_(listener), firstCommand_(listener.io()) {
  const auto [address, port] = peerOf(socket);
  address_ = address.empty() ? "a client" : address;
  peer_ = address.empty() ? address_ : net::hostAndPort(address, port);
}

void Connection::end(const std::string& why) {
  if (ended_) return;
  const auto self = shared_from_this();  // the registry may hold the last reference
  ended_ = true;
  if (!why.empty()) listener_.log().say(fmt::format("dropped {}: {}", peer_, why));
  firstCommand_.cancel();
  shut();
  listener_.forget(*this);
}

void Connection::awaitFirstCommand(std::chrono::milliseconds limit) {
  firstCommand_.expires_after(limit);
  firstCommand_.async_wait([self = shared_from_this()](error_code error) {
    if (error || self->ended() || self->commanded_) return;
    self->listener_.closedSilent(self->address_);
    self->end();
  });
}

void Connection::commanded() {
  if (commanded_) return;
  commanded_ = true;
  firstCommand_.cancel();
}

bool Connection::guard(const std::function<void()>& run) {
  return listener_.loop().guard(run, [this](const std::exception* e) {
    end(e ? fmt::format("it ended on an error: {}", e->what()) : "it ended on an unknown error");
  });
}

Listener::Listener(EventLoop& loop, const ListenAddress& where, std::string what,
                   Admission admission)
    : loop_(loop),
      acceptor_(loop.context(), {boost::asio::ip::make_address(where.address), where.port}),
      where_(where),
      what_(std::move(what)),
      admission_(admission),
      backoff_(loop.context()) {
  loop.onStop([this] { stop(); });
}

void Listener::start(Make make, std::string refusal) {
  make_ = std::move(make);
  refusal_ = std::move(refusal);
  accept();
}

ListenAddress Listener::bound() const {
  const auto at = endpoint();
  return {at.address().to_string(), at.port()};
}

std::string Listener::hostAndPort() const {
  const auto at = endpoint();
  return net::hostAndPort(at.address().to_string(), at.port());
}

void Listener::sayListening(std::string_view at) {
  log().say(fmt::format("{} on {}; SIGINT or SIGTERM ends it", what_, at));
  if (!isLoopback(where_))
    log().say(fmt::format(
        "warning: listening on {}, not on loopback: anyone who can reach this port can drive the "
        "board",
        where_.address));
}

void Listener::accept() {
  acceptor_.async_accept([this](error_code error, tcp::socket socket) {
    if (stopped_) return;
    if (!error) {
      accept();  // first, so that a connection that fails to start cannot stop the accepting
      accepted(std::move(socket));
      return;
    }
    // Out of descriptors or memory, or a client that left before it was taken: none of these
    // lasts, so accept again a little later, never stop for good.
    const auto now = Clock::now();
    if (now - lastAcceptWarning_ >= kAcceptWarningEvery) {
      lastAcceptWarning_ = now;
      log().say(fmt::format("{}: cannot take a connection: {}; trying again every {} ms", what_,
                            error.message(), admission_.acceptBackoff.count()));
    }
    backoff_.expires_after(admission_.acceptBackoff);
    backoff_.async_wait([this](error_code waited) {
      if (!waited && !stopped_) accept();
    });
  });
}

void Listener::accepted(tcp::socket socket) {
  if (connections_.size() >= admission_.maxConnections && !makeRoom()) {
    refuse(std::move(socket));
    return;
  }
  auto connection = make_(std::move(socket));
  connections_.insert(connection);
  if (admission_.firstCommand.count() > 0) connection->awaitFirstCommand(admission_.firstCommand);
  connection->start();
}

// Ends the connection that has been quiet longest, where the admission allows it.
bool Listener::makeRoom() {
  if (!admission_.reclaim) return false;
  std::shared_ptr<Connection> quietest;
  for (const auto& c : connections_)
    if (c->reclaimable() && (!quietest || c->quietSince() < quietest->quietSince())) quietest = c;
  if (!quietest) return false;
  quietest->end();
  return true;
}

// A client that found no slot: it is told why, then whatever it still sends is read and
// dropped until it leaves or the deadline passes, so that closing does not reset the connection
// before it has read why.
class Refusal : public std::enable_shared_from_this<Refusal> {
 public:
  Refusal(tcp::socket socket, std::set<Refusal*>& registry)
      : socket_(std::move(socket)), deadline_(socket_.get_executor()), registry_(&registry) {
    registry_->insert(this);
  }
  ~Refusal() {
    if (registry_ != nullptr) registry_->erase(this);
  }
  // The listener goes first: a loop stopped by a fatal error destroys the refusal's pending
  // handlers, and the refusal with them, only when the loop itself goes.
  void orphan() { registry_ = nullptr; }
  void start(const std::string& text) {
    deadline_.expires_after(kRefusalTime);
    deadline_.async_wait([self = shared_from_this()](error_code) {
      error_code ignored;
      self->socket_.close(ignored);
    });
    boost::asio::async_write(socket_, boost::asio::buffer(text),
                             [self = shared_from_this()](error_code error, std::size_t) {
                               if (error) {
                                 self->deadline_.cancel();
                                 return;
                               }
                               error_code ignored;
                               self->socket_.shutdown(tcp::socket::shutdown_send, ignored);
                               self->drain();
                             });
  }
  // At the listener's stop: closed without waiting for the client.
  void close() {
    deadline_.cancel();
    error_code ignored;
    socket_.close(ignored);
  }

 private:
  void drain() {
    socket_.async_read_some(boost::asio::buffer(ignored_),
                            [self = shared_from_this()](error_code error, std::size_t) {
                              if (error) {
                                self->deadline_.cancel();
                                return;
                              }
                              self->drain();
                            });
  }

  tcp::socket socket_;
  boost::asio::steady_timer deadline_;
  std::set<Refusal*>* registry_;
  std::array<char, 512> ignored_{};
};

Listener::~Listener() {
  for (Refusal* refusal : refusing_) refusal->orphan();
}

void Listener::refuse(tcp::socket socket) {
  // Closed as it goes: when there is nothing to say, or too many are being told already.
  if (refusal_.empty() || refusing_.size() >= admission_.maxRefusing) return;
  std::make_shared<Refusal>(std::move(socket), refusing_)->start(refusal_);
}

void Listener::forget(Connection& connection) {
  const auto at = std::find_if(connections_.begin(), connections_.end(),
                               [&](const auto& c) { return c.get() == &connection; });
  if (at != connections_.end()) connections_.erase(at);
}

void Listener::closedSilent(const std::string& address) {
  const auto now = Clock::now();
  std::erase_if(silentSaid_,
                [&](const auto& said) { return now - said.second >= kSilentSaidEvery; });
  if (silentSaid_.contains(address) || silentSaid_.size() >= kSilentAddresses) return;
  silentSaid_.emplace(address, now);
  log().say(fmt::format(
      "{}: closed a connection from {}: it sent no whole command within {} ms of connecting (said "
      "once a minute for each address)",
      what_, address, admission_.firstCommand.count()));
}

void Listener::stop() {
  if (stopped_) return;
  stopped_ = true;
  error_code ignored;
  acceptor_.close(ignored);
  backoff_.cancel();
  for (const auto& c : std::set<std::shared_ptr<Connection>>(connections_)) c->end();
  connections_.clear();
  for (Refusal* refusal : refusing_) refusal->close();
}

void keepAlive(tcp::socket& socket) {
  error_code ignored;
  socket.set_option(boost::asio::socket_base::keep_alive(true), ignored);
#if defined(TCP_KEEPIDLE) && defined(TCP_KEEPINTVL) && defined(TCP_KEEPCNT)
  // First probe after a minute of silence, then six, ten seconds apart: about two minutes.
  socket.set_option(boost::asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPIDLE>(60),
                    ignored);
  socket.set_option(boost::asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPINTVL>(10),
                    ignored);
  socket.set_option(boost::asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPCNT>(6),
                    ignored);
#endif
}

}  // namespace vx::net
