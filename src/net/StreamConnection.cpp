#include "net/StreamConnection.h"

#include <fmt/format.h>

namespace vx::net {

using boost::system::error_code;

StreamConnection::StreamConnection(Listener& listener, tcp::socket socket, std::size_t maxUnsent,
                                   std::chrono::milliseconds stallLimit, std::string unread)
    : Connection(listener, socket),
      socket_(std::move(socket)),
      outbox_(maxUnsent),
      stallTimer_(timer()),
      stallLimit_(stallLimit),
      unread_(std::move(unread)) {}

void StreamConnection::send(std::string text) {
  if (outbox_.add(std::move(text))) write();
}

void StreamConnection::write() {
  boost::asio::async_write(socket_, boost::asio::buffer(outbox_.front()),
                           [self = shared_from_this(), this](error_code error, std::size_t) {
                             if (ended()) return;
                             if (error) return writeFailed(error);
                             if (outbox_.sent()) write();
                             if (stalled_ && !outbox_.full()) {
                               stalled_ = false;
                               stallTimer_.cancel();
                               drained();
                             }
                           });
}

void StreamConnection::stall() {
  if (stalled_) return;
  stalled_ = true;
  after(stallTimer_, stallLimit_, [this] {
    if (stalled_)
      end(fmt::format("it read none of its {} for {} ms", unread_, stallLimit_.count()));
  });
}

void StreamConnection::writeFailed(const error_code& error) {
  end(fmt::format("writing to it failed: {}", error.message()));
}

void StreamConnection::read() {
  reading_ = true;
  readInto(boost::asio::buffer(buffer_), [this](error_code error, std::size_t n) {
    reading_ = false;
    if (error) return end();
    progressed();
    received(std::string_view(buffer_.data(), n));
  });
}

void StreamConnection::watch() {
  readInto(boost::asio::buffer(buffer_), [this](error_code error, std::size_t) {
    if (error) return end();
    watch();
  });
}

void StreamConnection::shut() {
  closing();
  for (auto& t : timers_) t.cancel();
  error_code ignored;
  socket_.shutdown(tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
}

}  // namespace vx::net
