#pragma once

#include <boost/asio.hpp>

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

namespace vx::net {

// What a connection has to send to its client: texts written in order, one write at a time, with
// a count of the bytes not yet sent. Past `cap` such bytes the client is behind: the connection
// holds back what it would send, and a client that stays behind for `stallLimit` is dropped.
//
// Owner derives from it and from net::Connection, and gives it: stream(), writeFailed(error),
// drained() (back under the cap) and stalledTooLong().
template <class Owner>
class Outbox {
 protected:
  Outbox(boost::asio::io_context& io, std::size_t cap, std::chrono::milliseconds stallLimit)
      : cap_(cap), stallLimit_(stallLimit), stall_(io) {}

  bool full() const { return unsent_ >= cap_; }
  std::size_t room() const { return full() ? 0 : cap_ - unsent_; }
  bool idle() const { return queue_.empty(); }

  void send(std::string text) {
    unsent_ += text.size();
    queue_.push_back(std::move(text));
    if (queue_.size() == 1) write();
  }

  // Marks the client as behind, and starts the count towards dropping it.
  void stall() {
    if (stalled_) return;
    stalled_ = true;
    stall_.expires_after(stallLimit_);
    stall_.async_wait([self = self()](boost::system::error_code error) {
      Outbox& box = *self;
      if (error || self->ended() || !box.stalled_) return;
      self->stalledTooLong();
    });
  }

  void stopStallTimer() { stall_.cancel(); }

 private:
  Owner& owner() { return static_cast<Owner&>(*this); }
  std::shared_ptr<Owner> self() {
    return std::static_pointer_cast<Owner>(owner().shared_from_this());
  }

  void write() {
    boost::asio::async_write(owner().stream(), boost::asio::buffer(queue_.front()),
                             [self = self()](boost::system::error_code error, std::size_t) {
                               Outbox& box = *self;
                               if (self->ended()) return;
                               if (error) {
                                 self->writeFailed(error);
                                 return;
                               }
                               box.unsent_ -= box.queue_.front().size();
                               box.queue_.pop_front();
                               if (!box.queue_.empty()) box.write();
                               if (box.stalled_ && !box.full()) {
                                 box.stalled_ = false;
                                 box.stall_.cancel();
                                 self->drained();
                               }
                             });
  }

  std::size_t cap_;
  std::chrono::milliseconds stallLimit_;
  std::deque<std::string> queue_;
  std::size_t unsent_ = 0;  // bytes in the queue
  bool stalled_ = false;
  boost::asio::steady_timer stall_;
};

}  // namespace vx::net
