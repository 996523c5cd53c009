#pragma once

// One event loop for all of a program's network sessions (SCPI over TCP, the web panel), run on
// one thread: every command from any client runs whole, one at a time, on the one board.

#include <exception>
#include <functional>
#include <memory>

namespace boost::asio {
class io_context;
}

namespace vx {

class EventLoop {
 public:
  // Takes SIGINT and SIGTERM (Ctrl+C on Windows) from here on: they end run().
  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  boost::asio::io_context& context();
  // What a session does when the loop ends: close its listener and its clients.
  void onStop(std::function<void()> stop);
  // A command's run-time error ends every session; run() throws it.
  void fail(std::exception_ptr error);
  // Runs the sessions until a signal, or a failure, stops them. The command in progress ends
  // first: a signal is handled between commands.
  void run();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx
