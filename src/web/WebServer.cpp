#include "web/WebServer.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include "net/Outbox.h"

#include <array>
#include <optional>
#include <set>
#include <sstream>

namespace vx {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

class Server;

std::string errorBody(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump();
}

// Headers on every reply: the page runs only its own files, in no other site's frame, and nothing
// is cached. No CORS header is ever sent, so other sites' pages cannot read the answers.
template <class Message>
void setCommonHeaders(Message& m, std::string_view type) {
  m.set(http::field::server, "vx3340ctl");
  m.set(http::field::content_type, type);
  m.set(http::field::cache_control, "no-store");
  m.set("X-Content-Type-Options", "nosniff");
  m.set("Referrer-Policy", "no-referrer");
  m.set("Content-Security-Policy",
        "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; "
        "form-action 'none'");
}

std::string peerName(const tcp::socket& socket) {
  error_code error;
  const auto at = socket.remote_endpoint(error);
  return error ? "a client" : hostAndPort(at.address().to_string(), at.port());
}

// What the panel reads of a request. local is the address the client reached, as a Host header
// writes it.
WebRequest toWebRequest(const http::request<http::string_body>& message,
                        const asio::ip::address& at, std::uint16_t port) {
  WebRequest r;
  r.method = std::string(message.method_string());
  r.target = std::string(message.target());
  r.host = std::string(message[http::field::host]);
  r.origin = std::string(message[http::field::origin]);
  r.fetchSite = std::string(message["Sec-Fetch-Site"]);
  r.contentType = std::string(message[http::field::content_type]);
  r.body = message.body();
  auto address = at;
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  r.local = hostAndPort(address.to_string(), port);
  r.loopback = address.is_loopback();
  return r;
}

// The answer to a request the parser refused: too big, or not HTTP. None for a client that left
// or took too long: it is not told.
std::optional<WebReply> parseFailure(error_code error, std::size_t maxBody) {
  if (error == http::error::body_limit)
    return WebReply{413, "application/json",
                    errorBody(fmt::format("a request body may hold at most {} bytes", maxBody))};
  const bool malformed =
      error.category() == http::make_error_code(http::error::bad_target).category() &&
      error != http::error::end_of_stream && error != http::error::partial_message;
  if (malformed) return WebReply{400, "application/json", errorBody("this is not an HTTP request")};
  return std::nullopt;
}

http::response<http::string_body> makeResponse(unsigned status, std::string_view type,
                                               std::string body, bool keepAlive) {
  http::response<http::string_body> response;
  response.result(status);
  response.version(11);
  setCommonHeaders(response, type);
  response.body() = std::move(body);
  response.keep_alive(keepAlive);
  response.prepare_payload();
  return response;
}

// An event stream's header, which has no length (the stream ends when the connection closes),
// and its first event, the whole state.
std::string streamHead(WebPanel& panel) {
  http::response<http::empty_body> header{http::status::ok, 11};
  setCommonHeaders(header, "text/event-stream");
  header.keep_alive(false);
  std::ostringstream text;
  text << header << "data: " << panel.firstEvent() << "\n\n";
  return text.str();
}

// One browser connection: requests and replies in turn, until it asks for the event stream,
// which it then stays, until the client leaves.
class Connection : public std::enable_shared_from_this<Connection>,
                   private net::Outbox<Connection> {
 public:
  Connection(tcp::socket socket, Server& server);
  void start() { readRequest(); }
  // Answers 503 without reading a request, and closes.
  void refuse(const std::string& why) { reply(503, "application/json", errorBody(why), false); }
  // Sends an event, or holds it back as the newest while the client is too far behind.
  void push(const std::string& event);
  void close();

 private:
  void readRequest();
  void onRequest(error_code error);
  WebRequest request();
  void reply(unsigned status, const std::string& type, std::string body, bool keepAlive);
  void openStream();
  void keepAlive();
  // Reads on only to see the client leave: after the last reply, or from an event stream.
  void watch();
  void finish();
  void end();
  void drop(const std::string& why);

  friend class net::Outbox<Connection>;
  beast::tcp_stream& stream() { return stream_; }
  bool closed() const { return closed_; }
  void writeFailed(error_code) { end(); }  // the page was closed
  void drained();
  void stalledTooLong();

  beast::tcp_stream stream_;
  Server& server_;
  std::string peer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  std::array<char, 512> ignored_{};
  bool closed_ = false;
  std::optional<std::string> newest_;  // the state to send once the client catches up
  asio::steady_timer keepAlive_;
};

class Server final : public WebLink {
 public:
  Server(EventLoop& loop, const tcp::endpoint& at, WebLimits limits)
      : loop_(loop), acceptor_(loop.context(), at), limits_(limits), poll_(loop.context()) {}

  void start(WebPanel& panel, std::ostream& log) {
    panel_ = &panel;
    log_ = &log;
    panel.connect(*this);
    accept();
  }
  tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  WebPanel& panel() { return *panel_; }
  const WebLimits& limits() const { return limits_; }
  asio::io_context& io() { return loop_.context(); }
  void say(const std::string& line) {
    fmt::print(*log_, "vx3340ctl: {}\n", line);
    log_->flush();
  }
  // A command's run-time error ends every session.
  void fail(std::exception_ptr error) { loop_.fail(error); }

  bool openStream(const std::shared_ptr<Connection>& connection) {
    if (streams_.size() >= limits_.maxStreams) return false;
    streams_.insert(connection);
    return true;
  }
  void closed(const std::shared_ptr<Connection>& connection) {
    connections_.erase(connection);
    streams_.erase(connection);
  }

  void publish(const std::string& state) override {
    const std::string event = "data: " + state + "\n\n";
    for (const auto& stream : streams_) stream->push(event);
  }
  // The poller: one per session, however many pages are open. A new setting starts a new
  // chain of ticks; a tick of an older one does nothing.
  void schedule(std::chrono::milliseconds interval) override {
    ++pollChain_;
    poll_.cancel();
    if (interval.count() > 0) tick(interval, pollChain_);
  }

  void stop() {
    error_code ignored;
    acceptor_.close(ignored);
    ++pollChain_;
    poll_.cancel();
    for (const auto& connection : connections_) connection->close();
    connections_.clear();
    streams_.clear();
  }

 private:
  void accept() {
    acceptor_.async_accept([this](error_code error, tcp::socket socket) {
      if (error) return;  // stopped
      auto connection = std::make_shared<Connection>(std::move(socket), *this);
      const bool full = connections_.size() >= limits_.maxConnections;
      connections_.insert(connection);
      if (full)
        connection->refuse(fmt::format(
            "this panel already has {} connections, the most it takes; close a page and load "
            "it again",
            limits_.maxConnections));
      else
        connection->start();
      accept();
    });
  }
  void tick(std::chrono::milliseconds interval, unsigned chain) {
    poll_.expires_after(interval);
    poll_.async_wait([this, interval, chain](error_code error) {
      if (error || chain != pollChain_) return;
      try {
        panel_->poll();
      } catch (...) {
        fail(std::current_exception());
        return;
      }
      tick(interval, chain);
    });
  }

  EventLoop& loop_;
  tcp::acceptor acceptor_;
  WebLimits limits_;
  WebPanel* panel_ = nullptr;
  std::ostream* log_ = nullptr;
  std::set<std::shared_ptr<Connection>> connections_;
  std::set<std::shared_ptr<Connection>> streams_;
  asio::steady_timer poll_;
  unsigned pollChain_ = 0;
};

Connection::Connection(tcp::socket socket, Server& server)
    : Outbox(server.io(), server.limits().maxUnsent, server.limits().stallLimit),
      stream_(std::move(socket)),
      server_(server),
      peer_(peerName(stream_.socket())),
      keepAlive_(server.io()) {}

void Connection::readRequest() {
  parser_.emplace();
  parser_->body_limit(server_.limits().maxBody);
  stream_.expires_after(server_.limits().requestTime);
  http::async_read(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](error_code error, std::size_t) { self->onRequest(error); });
}

void Connection::onRequest(error_code error) {
  if (closed_) return;
  if (error) {
    if (const auto failure = parseFailure(error, server_.limits().maxBody))
      reply(failure->status, failure->contentType, std::move(failure->body), false);
    else
      end();
    return;
  }
  stream_.expires_never();
  WebReply answer;
  try {
    answer = server_.panel().handle(request());
  } catch (...) {
    server_.fail(std::current_exception());
    return;
  }
  if (!answer.events) {
    reply(answer.status, answer.contentType, std::move(answer.body), parser_->get().keep_alive());
  } else if (!server_.openStream(shared_from_this())) {
    reply(503, "application/json",
          errorBody(fmt::format("this panel already serves {} event streams, the most it takes; "
                                "close a page and load it again",
                                server_.limits().maxStreams)),
          false);
  } else {
    openStream();
  }
}

WebRequest Connection::request() {
  error_code error;
  const auto local = stream_.socket().local_endpoint(error);
  return toWebRequest(parser_->get(), local.address(), local.port());
}

void Connection::reply(unsigned status, const std::string& type, std::string body, bool keepAlive) {
  response_ = makeResponse(status, type, std::move(body), keepAlive);
  http::async_write(stream_, response_, [self = shared_from_this()](error_code error, std::size_t) {
    if (self->closed_) return;
    if (error)
      self->end();
    else if (self->response_.keep_alive())
      self->readRequest();
    else
      self->finish();
  });
}

void Connection::openStream() {
  send(streamHead(server_.panel()));
  keepAlive();
  watch();
}

void Connection::push(const std::string& event) {
  if (closed_) return;
  if (!full()) {
    send(event);
    return;
  }
  newest_ = event;
  stall();
}

void Connection::drained() {
  send(std::move(*newest_));
  newest_.reset();
}

void Connection::stalledTooLong() {
  drop(fmt::format("it read none of its events for {} ms", server_.limits().stallLimit.count()));
}

void Connection::keepAlive() {
  keepAlive_.expires_after(server_.limits().keepAlive);
  keepAlive_.async_wait([self = shared_from_this()](error_code error) {
    if (error || self->closed_) return;
    if (self->idle()) self->send(": keep-alive\n\n");
    self->keepAlive();
  });
}

void Connection::watch() {
  stream_.async_read_some(asio::buffer(ignored_),
                          [self = shared_from_this()](error_code error, std::size_t) {
                            if (self->closed_) return;
                            if (error)
                              self->end();
                            else
                              self->watch();
                          });
}

// After the last reply: no more to send, and what the client still sends is read and dropped,
// so that closing does not reset the connection before the client has read the reply.
void Connection::finish() {
  error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream_.expires_after(std::chrono::seconds(5));
  watch();
}

void Connection::close() {
  closed_ = true;
  stopStallTimer();
  keepAlive_.cancel();
  stream_.close();
}

void Connection::end() {
  if (closed_) return;
  close();
  server_.closed(shared_from_this());
}

void Connection::drop(const std::string& why) {
  if (closed_) return;
  server_.say(fmt::format("dropped {}: {}", peer_, why));
  end();
}

}  // namespace

struct WebServer::State {
  Server server;
  ListenAddress where;
  State(EventLoop& loop, const ListenAddress& at, WebLimits limits)
      : server(loop, {asio::ip::make_address(at.address), at.port}, limits), where(at) {}
};

WebServer::WebServer(EventLoop& loop, const ListenAddress& where, WebLimits limits)
    : state_(std::make_unique<State>(loop, where, limits)) {
  loop.onStop([this] { state_->server.stop(); });
}

WebServer::~WebServer() = default;

void WebServer::start(WebPanel& panel, std::ostream& log) {
  state_->server.start(panel, log);
  const auto at = state_->server.endpoint();
  announce(log,
           fmt::format("web panel on http://{}/", hostAndPort(at.address().to_string(), at.port())),
           state_->where);
}

WebExchange exchange(WebPanel& panel, std::string_view bytes, const std::string& address,
                     std::uint16_t port, std::size_t maxBody) {
  http::request_parser<http::string_body> parser;
  parser.eager(true);
  parser.body_limit(maxBody);
  error_code error;
  WebExchange result;
  result.used = parser.put(asio::buffer(bytes.data(), bytes.size()), error);
  if (!error && !parser.is_done()) parser.put_eof(error);
  if (!error && !parser.is_done()) error = http::error::partial_message;
  WebReply answer;
  if (error) {
    const auto failure = parseFailure(error, maxBody);
    if (!failure) return result;
    answer = *failure;
  } else {
    answer = panel.handle(toWebRequest(parser.get(), asio::ip::make_address(address), port));
    result.events = answer.events;
    result.keepAlive = !answer.events && parser.get().keep_alive();
  }
  if (answer.events) {
    result.reply = streamHead(panel);
    return result;
  }
  std::ostringstream text;
  text << makeResponse(answer.status, answer.contentType, std::move(answer.body), result.keepAlive);
  result.reply = text.str();
  return result;
}

}  // namespace vx
