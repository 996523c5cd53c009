#pragma once

// One event loop for all of a program's network servers (the SCPI session over TCP, the web
// panel, VXI-11), run on one thread: every command from any client runs whole, one at a time, on
// the one board. It owns the program's log, and sorts the errors its handlers raise.

#include <exception>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "net/Log.h"

namespace boost::asio {
class io_context;
}

namespace vx::net {

class EventLoop {
 public:
  // Takes SIGINT and SIGTERM (Ctrl+C on Windows) from here on: they end run(), and a second one
  // ends the process at once. The log writes on log, each line after program, the name main
  // gives the program.
  EventLoop(std::ostream& log, std::string program);
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  boost::asio::io_context& context();
  Log& log();
  // What a server does when the loop ends: close its listener and its clients and cancel every
  // timer, so that the loop ends at once. These run on the loop, and a fatal error stops the loop
  // straight after them.
  void onStop(std::function<void()> stop);
  // What a server does once the loop has stopped, whatever stopped it, before run() returns or
  // throws: work that waits on something outside the loop (telling the portmapper that the
  // session is gone). The last one added runs first.
  void afterStop(std::function<void()> done);
  // The program's fatal error (a port failure) ends every session; run() throws it.
  void fail(std::exception_ptr error);
  // Runs what a client asked for, or what a timer does. The program's fatal error (a port
  // failure) ends every session, as fail() does; any other error goes to other, which ends only
  // what it came from (its exception; none for one of no standard type). Returns whether run ran
  // through.
  bool guard(const std::function<void()>& run,
             const std::function<void(const std::exception* error)>& other);
  // Runs the sessions until a signal, or a fatal error, stops them. The command in progress
  // ends first: a signal is handled between commands. Any other error that reaches the loop is
  // said on the log, and the sessions go on.
  void run();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vx::net
