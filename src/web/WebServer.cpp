#include "web/WebServer.h"

#include <fmt/format.h>

#include <optional>
#include <set>

#include "net/StreamConnection.h"

namespace vx {

namespace {

namespace asio = boost::asio;
using boost::system::error_code;

class BrowserConnection;

// The panel's link to the network: its event streams and its one poller, however many pages are
// open; what every browser connection shares.
class PanelLink final : public WebLink {
 public:
  PanelLink(net::Listener& listener, WebPanel& panel, const WebLimits& limits)
      : listener(listener), panel(panel), limits(limits), poll_(listener.io()) {}

  void publish(const std::string& state) override;
  // A new setting starts a new chain of ticks; a tick of an older one does nothing.
  void schedule(std::chrono::milliseconds interval) override {
    stop();
    if (interval.count() > 0) tick(interval, pollChain_);
  }
  void stop() {
    ++pollChain_;
    poll_.cancel();
  }

  net::Listener& listener;
  WebPanel& panel;
  const WebLimits& limits;
  std::set<BrowserConnection*> streams;

 private:
  void tick(std::chrono::milliseconds interval, unsigned chain) {
    poll_.expires_after(interval);
    poll_.async_wait([this, interval, chain](error_code error) {
      if (error || chain != pollChain_) return;
      listener.loop().guard([this] { panel.poll(); },
                            [this](const std::exception* e) {
                              listener.log().say(fmt::format("the web panel's poller: {}",
                                                             e ? e->what() : "an unknown error"));
                            });
      // Unless a port failure stopped the loop, and the poller with it.
      if (chain == pollChain_) tick(interval, chain);
    });
  }

  asio::steady_timer poll_;
  unsigned pollChain_ = 0;
};

// One browser connection: requests and replies in turn, each phase with its deadline, until it
// asks for the event stream, which it then stays until the client leaves.
class BrowserConnection final : public net::StreamConnection {
 public:
  BrowserConnection(net::Listener& listener, net::tcp::socket socket, PanelLink& link)
      : StreamConnection(listener, std::move(socket), link.limits.maxUnsent, link.limits.stallLimit,
                         "events"),
        link_(link),
        limits_(link.limits),
        talk_(link.panel, limits_, local().address(), local().port(),
              [&link] { return link.streams.size() < link.limits.maxStreams; }) {}

  void start() override {
    expireIn(limits_.requestTime);
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
  net::tcp::endpoint local() {
    error_code error;
    return socket().local_endpoint(error);
  }
  void closing() override { link_.streams.erase(this); }

  // One deadline at a time, for the phase under way: reading a request, writing a reply,
  // waiting for the next request, or the last goodbye.
  void expireIn(std::chrono::milliseconds limit, std::string why = {}) {
    after(deadline_, limit, [this, why = std::move(why)] { end(why); });
  }

  void read() {
    readInto(talk_.space(), [this](error_code error, std::size_t n) {
      const bool between = !talk_.midRequest();
      if (error)
        talk_.ended();
      else
        talk_.received(n);
      progressed();
      // The first byte of a request starts its own deadline.
      if (between && n > 0) expireIn(limits_.requestTime);
      serve();
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
    expireIn(limits_.writeTime,
             fmt::format("it read none of its answer for {} ms", limits_.writeTime.count()));
    asio::async_write(
        socket(), asio::buffer(reply_),
        [self = self<BrowserConnection>(), close = step.close](error_code error, std::size_t) {
          if (self->ended()) return;
          if (error) return self->end();
          self->replied(close);
        });
  }

  void replied(bool close) {
    progressed();
    if (close) return finish();
    // The next request may be here already; if not, wait a while for it.
    expireIn(talk_.midRequest() ? limits_.requestTime : limits_.idleTime);
    serve();
  }

  void openStream(std::string head) {
    deadline_.cancel();
    setReclaimable(false);
    link_.streams.insert(this);
    push(head);
    keepAlive();
    watch();
  }

  void keepAlive() {
    after(keepAlive_, limits_.keepAlive, [this] {
      if (idle()) push(": keep-alive\n\n");
      keepAlive();
    });
  }

  // After the last reply: no more to send, and what the client still sends is read and dropped
  // for a moment, so that closing does not reset the connection before the client has read it.
  void finish() {
    error_code ignored;
    socket().shutdown(net::tcp::socket::shutdown_send, ignored);
    expireIn(std::chrono::seconds(1));
    watch();
  }

  void writeFailed(const error_code&) override { end(); }  // the page was closed
  void drained() override {
    if (!newest_) return;
    send(std::move(*newest_));
    newest_.reset();
    if (full()) stall();
  }

  PanelLink& link_;
  const WebLimits& limits_;
  WebConversation talk_;
  asio::steady_timer& deadline_ = timer();
  asio::steady_timer& keepAlive_ = timer();
  std::string reply_;
  std::optional<std::string> newest_;  // the state to send once the client catches up
};

void PanelLink::publish(const std::string& state) {
  const std::string event = "data: " + state + "\n\n";
  for (BrowserConnection* stream : std::set<BrowserConnection*>(streams)) stream->push(event);
}

}  // namespace

struct WebServer::State {
  State(net::EventLoop& loop, const net::ListenAddress& at, WebLimits limits)
      : limits(limits), listener(loop, at, "web panel", {limits.maxConnections, true}) {}
  WebLimits limits;
  net::Listener listener;
  std::unique_ptr<PanelLink> link;
};

WebServer::WebServer(net::EventLoop& loop, const net::ListenAddress& where, WebLimits limits)
    : state_(std::make_unique<State>(loop, where, limits)) {
  loop.onStop([this] {
    if (state_->link) state_->link->stop();
  });
}

WebServer::~WebServer() = default;

net::ListenAddress WebServer::bound() const {
  return state_->listener.bound();
}

void WebServer::start(WebPanel& panel) {
  State& s = *state_;
  s.link = std::make_unique<PanelLink>(s.listener, panel, s.limits);
  panel.connect(*s.link);
  s.listener.start(
      [&s](net::tcp::socket socket) {
        return std::make_shared<BrowserConnection>(s.listener, std::move(socket), *s.link);
      },
      webRefusal(s.limits));
  s.listener.sayListening(fmt::format("http://{}/", s.listener.hostAndPort()));
}

}  // namespace vx
