#pragma once

// What a connection has yet to send to its client: texts in order, the first one being written,
// and a count of the bytes not yet sent, held under a cap. No I/O: StreamConnection writes it.

#include <cstddef>
#include <deque>
#include <string>

namespace vx::net {

class Outbox {
 public:
  explicit Outbox(std::size_t cap) : cap_(cap) {}

  // Whether the bytes not yet sent have reached the cap: the client is behind.
  bool full() const { return unsent_ >= cap_; }
  // How many more bytes it takes before it is full.
  std::size_t room() const { return full() ? 0 : cap_ - unsent_; }
  bool empty() const { return queue_.empty(); }

  // Adds text after what waits; whether it is the one to write now (nothing else was waiting).
  bool add(std::string text) {
    unsent_ += text.size();
    queue_.push_back(std::move(text));
    return queue_.size() == 1;
  }
  // The text to write now.
  const std::string& front() const { return queue_.front(); }
  // The front text has been written; whether another waits.
  bool sent() {
    unsent_ -= queue_.front().size();
    queue_.pop_front();
    return !queue_.empty();
  }

 private:
  std::size_t cap_;
  std::deque<std::string> queue_;
  std::size_t unsent_ = 0;  // bytes in the queue
};

}  // namespace vx::net
