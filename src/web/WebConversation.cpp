#include "web/WebConversation.h"

#include <fmt/format.h>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include <cstring>
#include <iterator>
#include <limits>
#include <sstream>

#include "net/Listen.h"

namespace vx {

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::system::error_code;

// Room for the header block and a little more, so that the parser's own header limit is what a
// header too long runs into; a chunk line or a trailer block must fit in it as well.
constexpr std::size_t kSlack = 1024;

std::string errorBody(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump(-1, ' ', false,
                                                 nlohmann::json::error_handler_t::replace);
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

// A reply as it goes on the wire; to a HEAD request, without its body but with its length.
std::string wire(const WebReply& answer, bool keepAlive, bool head) {
  http::response<http::string_body> response;
  response.result(static_cast<unsigned>(answer.status));
  response.version(11);
  setCommonHeaders(response, answer.contentType);
  if (!answer.allow.empty()) response.set(http::field::allow, answer.allow);
  response.body() = answer.body;
  response.keep_alive(keepAlive);
  response.prepare_payload();
  if (head) response.body().clear();
  std::ostringstream text;
  text << response;
  return text.str();
}

// An event stream's header, which has no length (the stream ends when the connection closes),
// and its first event, the whole state.
std::string streamHead(const std::string* firstEvent) {
  http::response<http::empty_body> header{http::status::ok, 11};
  setCommonHeaders(header, "text/event-stream");
  header.keep_alive(false);
  std::ostringstream text;
  text << header;
  if (firstEvent) text << "data: " << *firstEvent << "\n\n";
  return text.str();
}

// The headers that decide where a request may go and how long it is: one copy each, or the
// request is ambiguous.
constexpr std::string_view kSingleHeaders[] = {"Host", "Content-Length", "Content-Type", "Origin",
                                               "Sec-Fetch-Site"};

}  // namespace

struct WebConversation::Parser {
  explicit Parser(const WebLimits& limits) {
    parser.eager(true);
    parser.header_limit(static_cast<std::uint32_t>(limits.maxHeader));
    parser.body_limit(limits.maxBody);
    parser.on_chunk_header(onChunk);
  }
  std::size_t fields() const {
    return static_cast<std::size_t>(std::distance(parser.get().begin(), parser.get().end()));
  }

  http::request_parser<http::string_body> parser;
  // The fields before the last chunk: any more after it are trailers.
  std::size_t fieldsBeforeTrailers = std::numeric_limits<std::size_t>::max();
  // No browser sends chunk extensions, and Beast would keep them whole: they are refused.
  std::function<void(std::uint64_t, std::string_view, error_code&)> onChunk =
      [this](std::uint64_t size, std::string_view extensions, error_code& error) {
        if (!extensions.empty()) error = http::error::bad_chunk_extension;
        if (size == 0) fieldsBeforeTrailers = fields();
      };
};

WebConversation::WebConversation(WebPanel& panel, const WebLimits& limits,
                                 const asio::ip::address& local, std::uint16_t port,
                                 std::function<bool()> mayStream)
    : panel_(panel),
      limits_(limits),
      mayStream_(std::move(mayStream)),
      capacity_(limits.maxHeader + kSlack) {
  const auto address = net::unmapped(local);
  local_ = net::hostAndPort(address.to_string(), port);
  loopback_ = address.is_loopback();
  buffer_ = std::make_unique<char[]>(capacity_);
}

WebConversation::~WebConversation() = default;

asio::mutable_buffer WebConversation::space() {
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  return {buffer_.get() + end_, capacity_ - end_};
}

void WebConversation::received(std::size_t n) {
  end_ += n;
}

WebConversation::Step WebConversation::failure(int status, const std::string& why) {
  done_ = true;
  return {wire({status, "application/json", errorBody(why)}, false, false), true};
}

WebConversation::Step WebConversation::next() {
  if (done_) return {{}, true};
  if (!parser_) parser_ = std::make_unique<Parser>(limits_);
  auto& parser = parser_->parser;
  error_code error;
  while (begin_ < end_ && !parser.is_done()) {
    const auto used = parser.put(asio::buffer(buffer_.get() + begin_, end_ - begin_), error);
    begin_ += used;
    started_ = started_ || used > 0;
    if (error == http::error::need_more) error = {};
    if (error || used == 0) break;
  }
  if (error == http::error::header_limit)
    return failure(431,
                   fmt::format("a request's header may hold at most {} bytes", limits_.maxHeader));
  if (error == http::error::body_limit)
    return failure(413, fmt::format("a request body may hold at most {} bytes", limits_.maxBody));
  if (error == http::error::bad_chunk_extension)
    return failure(400, "chunk extensions are not taken");
  if (error) return failure(400, "this is not an HTTP request");
  if (parser.is_done()) return answer();
  if (ended_) {  // the client left, perhaps in the middle of a request: it is not answered
    done_ = true;
    return {{}, true};
  }
  if (end_ - begin_ >= capacity_)
    return parser.is_header_done()
               ? failure(400, "a chunk line or the trailer of a request is too long")
               : failure(431, fmt::format("a request's header may hold at most {} bytes",
                                          limits_.maxHeader));
  return {};
}

WebConversation::Step WebConversation::answer() {
  const auto& m = parser_->parser.get();
  // Framing that two readers could take two ways is refused, and the connection closed, so that
  // nothing of it is read as a request of its own.
  if (m.count(http::field::transfer_encoding) > 0 && !parser_->parser.chunked())
    return failure(400, "a Transfer-Encoding must end in chunked");
  for (const std::string_view name : kSingleHeaders)
    if (m.count(name) > 1) return failure(400, fmt::format("the {} header is given twice", name));
  if (parser_->fields() > parser_->fieldsBeforeTrailers)
    return failure(400, "trailer fields are not taken");
  if (m.version() >= 11 && m.count(http::field::host) == 0)
    return failure(400, "an HTTP/1.1 request needs a Host header");

  const bool head = m.method() == http::verb::head;
  WebRequest r;
  r.method = head ? "GET" : std::string(m.method_string());
  r.target = std::string(m.target());
  r.host = std::string(m[http::field::host]);
  r.origin = std::string(m[http::field::origin]);
  r.fetchSite = std::string(m["Sec-Fetch-Site"]);
  r.contentType = std::string(m[http::field::content_type]);
  r.body = m.body();
  r.local = local_;
  r.loopback = loopback_;
  const bool keepAlive = m.keep_alive();
  const WebReply reply = panel_.handle(r);
  parser_.reset();
  started_ = false;

  if (!reply.events) return {wire(reply, keepAlive, head), !keepAlive};
  done_ = true;
  if (head) return {streamHead(nullptr), true};
  if (!mayStream_())
    return failure(503,
                   fmt::format("this panel already serves {} event streams, the most it takes; "
                               "close a page and load it again",
                               limits_.maxStreams));
  const std::string first = panel_.firstEvent();
  return {streamHead(&first), false, true};
}

// A refusal before any request is read: every slot is taken.
std::string webRefusal(const WebLimits& limits) {
  return wire({503, "application/json",
               errorBody(fmt::format("this panel already has {} connections, the most it takes; "
                                     "close a page and load it again",
                                     limits.maxConnections))},
              false, false);
}

}  // namespace vx
