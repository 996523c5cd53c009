#pragma once

// One browser connection's HTTP without the socket: the bytes it sent, through Beast's parser
// with the server's limits and the strict framing rules of HTTP/1.1, to the panel; the replies as
// they go on the wire. The server's connections run exactly this, and so do the tests and the
// web fuzz target.

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "web/WebPanel.h"

namespace vx {

// What the server lets its clients hold and how long each phase may take. Connections and event
// streams at once (one more is told why it is refused, or takes the slot of the connection that
// has been quiet longest); a request's header block and body; reading a request, writing an
// answer, and waiting for the next request on a kept-alive connection; and, as for a SCPI
// client, at most maxUnsent bytes of events waiting for a stream, past which it gets only the
// newest state once it drains, and a stream that stays past that for stallLimit is dropped.
struct WebLimits {
  std::size_t maxConnections = 32;
  std::size_t maxStreams = 16;
  std::size_t maxHeader = 8192;  // the header block, and trailers had they been taken
  std::size_t maxBody = 4096;
  std::chrono::milliseconds requestTime{30000};
  std::chrono::milliseconds writeTime{10000};
  std::chrono::milliseconds idleTime{5000};
  std::size_t maxUnsent = 64 * 1024;
  std::chrono::milliseconds stallLimit{10000};
  std::chrono::milliseconds keepAlive{15000};  // a comment to idle streams: finds clients gone
};

class WebConversation {
 public:
  // local and port: where the client reached the server. mayStream: whether one more event
  // stream may open now.
  WebConversation(WebPanel& panel, const WebLimits& limits, const boost::asio::ip::address& local,
                  std::uint16_t port, std::function<bool()> mayStream);
  ~WebConversation();

  // Where the client's next bytes go: the free end of a buffer that never grows past its bound.
  boost::asio::mutable_buffer space();
  // n bytes were read into space().
  void received(std::size_t n);
  // The client will send no more.
  void ended() { ended_ = true; }
  // Whether bytes of a request not yet whole are waiting.
  bool midRequest() const { return end_ > begin_ || started_; }

  // What the bytes so far call for. A reply to write, then ask again (the client may have sent
  // the next request already); nothing and not close: read more; close: end the connection once
  // the reply, if any, is written; stream: the reply opens an event stream, which the
  // connection then is. A run-time error from the port is not caught.
  struct Step {
    std::string reply;
    bool close = false;
    bool stream = false;
  };
  Step next();

 private:
  struct Parser;
  Step failure(int status, const std::string& why);
  Step answer();

  WebPanel& panel_;
  const WebLimits& limits_;
  std::string local_;
  bool loopback_;
  std::function<bool()> mayStream_;
  std::unique_ptr<Parser> parser_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_, begin_ = 0, end_ = 0;
  bool started_ = false;  // the parser has taken bytes of the request under way
  bool ended_ = false, done_ = false;
};

// The answer to a client that finds every slot taken: 503, and why.
std::string webRefusal(const WebLimits& limits);

}  // namespace vx
