#pragma once

// The board as a lab instrument: SCPI-1999 commands over the front panel. Plain C++, no I/O:
// the transports (standard input, TCP) feed it lines and send back what it answers.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

class FrontPanel;

// What the instrument says about itself: maker, model, serial, version.
std::string scpiIdentity();

// One client's own status: its error queue and its standard event status register.
class ScpiClient {
 public:
  static constexpr std::size_t kQueueLength = 20;

  // Queues an error; when the queue is full the newest entry becomes -350 "Queue overflow".
  void error(int code, std::string_view message);
  // The oldest error as SYSTem:ERRor? gives it, or 0,"No error"; removes it.
  std::string nextError();
  void clear();

  std::uint8_t esr = 0;  // standard event status register
  std::size_t queued() const { return errors_.size(); }

 private:
  std::deque<std::string> errors_;
};

// Parses and runs SCPI program messages against the one board. Each setting is the same pick as
// in the window: its bits, then a full refresh. Each query answers from the register images.
class ScpiInstrument {
 public:
  explicit ScpiInstrument(FrontPanel& panel) : panel_(panel) {}

  // Runs one line (commands chained with ';') for a client and returns the answers of its
  // queries, joined by ';', or nothing when it held no query. The first error ends the line.
  // A port that went away (PortGoneError) queues -240 "Hardware error" with the reason; the next
  // line claims it again first. Any other run-time error from the port is not caught: it ends
  // the session. The port is flushed at the end: the command is done.
  std::optional<std::string> execute(std::string_view line, ScpiClient& client);
  // The client's status byte, as *STB? gives it: bit 2 says that its error queue holds something.
  std::uint8_t statusByte(const ScpiClient& client) const;
  // An error of the instrument's own, such as a recorder whose file cannot be written: queued
  // once, for the client whose line runs now, or else the next one to run a line.
  void report(int code, std::string_view message);

 private:
  std::optional<std::string> run(std::string_view line, ScpiClient& client);

  FrontPanel& panel_;
  std::vector<std::pair<int, std::string>> reports_;
};

// Splits a byte stream into lines of at most kMaxLine bytes. A longer line is dropped whole and
// reported once, as is a line holding bytes that are not text.
class LineFramer {
 public:
  static constexpr std::size_t kMaxLine = 4096;

  struct Event {
    enum Kind { Line, TooLong, NotText } kind;
    std::string line;
  };
  // Takes the next byte; returns the line it completes, if it does.
  std::optional<Event> feed(char byte);

 private:
  std::string pending_;
  bool overflowed_ = false;
};

}  // namespace vx
