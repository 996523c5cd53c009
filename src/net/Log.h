#pragma once

// The program's log: lines on its stream (standard error), each after the program's name, which
// main gives once. The event loop owns it; a line from another thread is posted to the loop and
// said there, between commands.

#include <ostream>
#include <string>
#include <string_view>

namespace boost::asio {
class io_context;
}

namespace vx::net {

class Log {
 public:
  Log(std::ostream& stream, std::string program, boost::asio::io_context& io);
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // "PROGRAM: LINE", at once: on the loop's thread, or before the loop runs.
  void say(std::string_view line);
  // The same from any thread: said on the loop's thread, between commands.
  void post(std::string line);
  // "PROGRAM: TEXT" and a newline, as the log writes a line: for text that goes elsewhere, such
  // as the refusal a client is sent.
  std::string line(std::string_view text) const;

 private:
  std::ostream& stream_;
  std::string program_;
  boost::asio::io_context& io_;
};

}  // namespace vx::net
