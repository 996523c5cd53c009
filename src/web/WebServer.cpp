#include "web/WebServer.h"

#include <fmt/format.h>
#include <boost/asio.hpp>

#include "net/Outbox.h"
#include "net/Server.h"
#include "port/FatalError.h"

#include <array>
#include <optional>
#include <set>

namespace vx {

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

class Connection;

// What the connections share: the panel, the limits, the event streams and the one poller.
class Panel final : public WebLink {
 public:
  Panel(net::Server& server, const WebLimits& limits)
      : server(server), limits(limits), poll_(server.io()) {}

  void publish(const std::string& state) override;
  // The poller: one per session, however many pages are open. A new setting starts a new
  // chain of ticks; a tick of an older one does nothing.
  void schedule(std::chrono::milliseconds interval) override {
    ++pollChain_;
    poll_.cancel();
    if (interval.count() > 0) tick(interval, pollChain_);
  }
  void stop() {
    ++pollChain_;
    poll_.cancel();
  }

  net::Server& server;
  const WebLimits& limits;
  WebPanel* panel = nullptr;
  std::set<Connection*> streams;

 private:
  void tick(std::chrono::milliseconds interval, unsigned chain) {
    poll_.expires_after(interval);
    poll_.async_wait([this, interval, chain](error_code error) {
      if (error || chain != pollChain_) return;
      try {
        panel->poll();
      } catch (const FatalError&) {
        server.fail(std::current_exception());
        return;
      } catch (const std::exception& e) {
        server.say(fmt::format("the web panel's poller: {}", e.what()));
      }
      tick(interval, chain);
    });
  }

  asio::steady_timer poll_;
  unsigned pollChain_ = 0;
};

// One browser connection: requests and replies in turn, each phase with its deadline, until it
// asks for the event stream, which it then stays until the client leaves.
class Connection final : public net::Connection, private net::Outbox<Connection> {
 public:
  Connection(tcp::socket socket, Panel& shared)
      : net::Connection(shared.server, socket),
        Outbox(shared.server.io(), shared.limits.maxUnsent, shared.limits.stallLimit),
        socket_(std::move(socket)),
        shared_(shared),
        talk_(*shared.panel, shared.limits, localAddress(), localPort(),
              [&shared] { return shared.streams.size() < shared.limits.maxStreams; }),
        deadline_(shared.server.io()) {}

  void start() override {
    expireIn(shared_.limits.requestTime);
    read();
  }
  // Sends an event, or holds it back as the newest while the client is too far behind.
  void push(const std::string& event) {
    if (ended()) return;
    if (full()) {
      newest_ = event;
    } else {
      send(event);
    }
    if (full()) stall();
  }

 private:
  asio::ip::address localAddress() const {
    error_code error;
    return socket_.local_endpoint(error).address();
  }
  std::uint16_t localPort() const {
    error_code error;
    return socket_.local_endpoint(error).port();
  }

  void shut() override {
    shared_.streams.erase(this);
    stopStallTimer();
    deadline_.cancel();
    keepAlive_.cancel();
    error_code ignored;
    socket_.close(ignored);
  }

  // One deadline at a time, for the phase under way: reading a request, writing a reply,
  // waiting for the next request, or the last goodbye.
  void expireIn(std::chrono::milliseconds limit, std::string why = {}) {
    deadline_.expires_after(limit);
    deadline_.async_wait([self = shared(), why = std::move(why)](error_code error) {
      if (!error) self->end(why);
    });
  }
  std::shared_ptr<Connection> shared() {
    return std::static_pointer_cast<Connection>(shared_from_this());
  }

  void read() {
    socket_.async_read_some(talk_.space(), [self = shared()](error_code error, std::size_t n) {
      if (self->ended()) return;
      const bool between = !self->talk_.midRequest();
      if (error)
        self->talk_.ended();
      else
        self->talk_.received(n);
      self->progressed();
      // The first byte of a request starts its own deadline.
      if (between && n > 0) self->expireIn(self->shared_.limits.requestTime);
      self->serve();
    });
  }

  void serve() {
    WebConversation::Step step;
    if (!guard([&] { step = talk_.next(); })) return;
    if (step.stream) return openStream(std::move(step.reply));
    if (step.reply.empty()) {
      if (step.close) return end();
      return read();
    }
    reply_ = std::move(step.reply);
    expireIn(shared_.limits.writeTime,
             fmt::format("it read none of its answer for {} ms", shared_.limits.writeTime.count()));
    asio::async_write(socket_, asio::buffer(reply_),
                      [self = shared(), close = step.close](error_code error, std::size_t) {
                        if (self->ended()) return;
                        if (error) return self->end();
                        self->progressed();
                        if (close) return self->finish();
                        // The next request may be here already; if not, wait a while for it.
                        self->expireIn(self->talk_.midRequest() ? self->shared_.limits.requestTime
                                                                : self->shared_.limits.idleTime);
                        self->serve();
                      });
  }

  void openStream(std::string head) {
    deadline_.cancel();
    setReclaimable(false);
    shared_.streams.insert(this);
    push(head);
    keepAlive();
    watch();
  }

  void keepAlive() {
    keepAlive_.expires_after(shared_.limits.keepAlive);
    keepAlive_.async_wait([self = shared()](error_code error) {
      if (error || self->ended()) return;
      if (self->idle()) self->push(": keep-alive\n\n");
      self->keepAlive();
    });
  }

  // Reads on only to see the client leave: after the last reply, or from an event stream.
  void watch() {
    socket_.async_read_some(asio::buffer(ignored_),
                            [self = shared()](error_code error, std::size_t) {
                              if (self->ended()) return;
                              if (error) return self->end();
                              self->watch();
                            });
  }

  // After the last reply: no more to send, and what the client still sends is read and dropped
  // for a moment, so that closing does not reset the connection before the client has read it.
  void finish() {
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    expireIn(std::chrono::seconds(1));
    watch();
  }

  friend class net::Outbox<Connection>;
  tcp::socket& stream() { return socket_; }
  void writeFailed(error_code) { end(); }  // the page was closed
  void drained() {
    if (!newest_) return;
    send(std::move(*newest_));
    newest_.reset();
    if (full()) stall();
  }
  void stalledTooLong() {
    end(fmt::format("it read none of its events for {} ms", shared_.limits.stallLimit.count()));
  }

  tcp::socket socket_;
  Panel& shared_;
  WebConversation talk_;
  asio::steady_timer deadline_;
  asio::steady_timer keepAlive_{socket_.get_executor()};
  std::string reply_;
  std::array<char, 512> ignored_{};
  std::optional<std::string> newest_;  // the state to send once the client catches up
};

void Panel::publish(const std::string& state) {
  const std::string event = "data: " + state + "\n\n";
  for (Connection* stream : std::set<Connection*>(streams)) stream->push(event);
}

}  // namespace

struct WebServer::State {
  State(EventLoop& loop, const ListenAddress& at, WebLimits limits)
      : limits(limits),
        server(loop, at, "web panel", {limits.maxConnections, true}),
        shared(server, this->limits),
        where(at) {}
  WebLimits limits;
  net::Server server;
  Panel shared;
  ListenAddress where;
};

WebServer::WebServer(EventLoop& loop, const ListenAddress& where, WebLimits limits)
    : state_(std::make_unique<State>(loop, where, limits)) {
  loop.onStop([this] { state_->shared.stop(); });
}

WebServer::~WebServer() = default;

ListenAddress WebServer::bound() const {
  const auto at = state_->server.endpoint();
  return {at.address().to_string(), at.port()};
}

void WebServer::start(WebPanel& panel, std::ostream& log) {
  State& s = *state_;
  s.shared.panel = &panel;
  panel.connect(s.shared);
  s.server.start(
      log,
      [&s](tcp::socket socket) {
        return std::make_shared<Connection>(std::move(socket), s.shared);
      },
      webRefusal(s.limits));
  const auto at = s.server.endpoint();
  announce(log,
           fmt::format("web panel on http://{}/", hostAndPort(at.address().to_string(), at.port())),
           s.where);
}

}  // namespace vx
