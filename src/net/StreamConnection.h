#pragma once

// A client's connection on a TCP stream: its socket; what it has yet to be sent, written in
// order under a cap, past which the client is behind and, if it stays behind for the stall limit,
// dropped; the reads of what it sends; and timers of its own, all cancelled when it closes. The
// SCPI session's, the web panel's and VXI-11's connections are each one of these.

#include <boost/asio.hpp>

#include <array>
#include <chrono>
#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "net/Listener.h"
#include "net/Outbox.h"

namespace vx::net {

class StreamConnection : public Connection {
 protected:
  // Sends at most maxUnsent bytes ahead of the client; one that stays behind for stallLimit is
  // dropped, with a line that says it read none of its unread ("answers") in that time.
  StreamConnection(Listener& listener, tcp::socket socket, std::size_t maxUnsent,
                   std::chrono::milliseconds stallLimit, std::string unread);

  tcp::socket& socket() { return socket_; }

  // What waits unsent: whether it has reached the cap, how far below the cap it is, and whether
  // nothing waits.
  bool full() const { return outbox_.full(); }
  std::size_t room() const { return outbox_.room(); }
  bool idle() const { return outbox_.empty(); }
  // Sends text after what waits.
  void send(std::string text);
  // The client is behind: it is dropped unless it drains below the cap within the stall limit.
  void stall();
  // Below the cap again after a stall.
  virtual void drained() = 0;
  // A write failed: by default the connection ends and says why.
  virtual void writeFailed(const boost::system::error_code& error);

  // Reads the client's next bytes and gives them to received(); the client's end (a call half
  // sent is lost) ends the connection. One read at a time: reading() says whether one is under
  // way.
  void read();
  bool reading() const { return reading_; }
  virtual void received(std::string_view) {}
  // Reads the client's next bytes into buffer, then runs then(error, n) unless the connection
  // has ended meanwhile.
  template <class Then>
  void readInto(boost::asio::mutable_buffer buffer, Then then) {
    socket_.async_read_some(buffer, [self = shared_from_this(), this, then = std::move(then)](
                                        boost::system::error_code error, std::size_t n) mutable {
      if (!ended()) then(error, n);
    });
  }
  // Reads and drops what the client still sends, until it leaves; then the connection ends.
  void watch();

  // A timer of the connection's own, cancelled when it closes.
  boost::asio::steady_timer& timer() { return timers_.emplace_back(socket_.get_executor()); }
  // Sets timer to run then after limit, unless it is set again or cancelled first, or the
  // connection has ended.
  template <class Then>
  void after(boost::asio::steady_timer& timer, std::chrono::milliseconds limit, Then then) {
    timer.expires_after(limit);
    timer.async_wait([self = shared_from_this(), this,
                      then = std::move(then)](boost::system::error_code error) mutable {
      if (!error && !ended()) then();
    });
  }

  // Cancels the timers and closes the socket, after closing() lets go of what else the
  // connection holds.
  void shut() final;
  virtual void closing() {}

  template <class Derived>
  std::shared_ptr<Derived> self() {
    return std::static_pointer_cast<Derived>(shared_from_this());
  }

 private:
  void write();

  tcp::socket socket_;
  Outbox outbox_;
  std::list<boost::asio::steady_timer> timers_;
  boost::asio::steady_timer& stallTimer_;
  std::chrono::milliseconds stallLimit_;
  std::string unread_;
  bool stalled_ = false;
  bool reading_ = false;
  std::array<char, 4096> buffer_{};
};

}  // namespace vx::net
