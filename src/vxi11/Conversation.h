#pragma once

// VXI-11 as a conversation, with no I/O: a client's bytes in (ONC RPC calls in TCP's record
// marking), the replies out, so that the server, a test and a fuzz target drive the same code.
// The calls and replies are XDR from libtirpc and the routines rpcgen makes of vxi11.x; each
// procedure is served through the one table in Procedures.h.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "vxi11/Device.h"

namespace vx::vxi11 {

struct Call;

// One TCP connection to the core channel or the abort channel.
class Conversation {
 public:
  enum class Channel { Core, Abort };
  Conversation(Device& device, Channel channel) : device_(device), channel_(channel) {}
  ~Conversation();  // its links end with it
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;

  struct Out {
    std::string replies;  // records to send, in order
    bool close = false;   // end the connection, after the replies
    std::string why;      // why, for the log
  };
  // Takes the client's next bytes and answers the calls they complete. While a call waits for
  // the lock, bytes are kept for later.
  Out feed(std::string_view bytes);
  // How long the waiting call may wait for the lock, from when it came; none when none waits.
  std::optional<std::chrono::milliseconds> waiting() const { return waitFor_; }
  // Tries the waiting call again: the lock may be free now, or the link aborted.
  Out resume() { return run(Attempt::Again); }
  // The waiting call's time is up: it gets error 11, and the calls after it run.
  Out expire() { return run(Attempt::Last); }
  // Whether a record has begun and not ended: its sender has a deadline.
  bool midRecord() const { return !pending_ && (started_ || !unread_.empty()); }
  // Whether a whole record (a call) has come.
  bool called() const { return called_; }

 private:
  struct Result;
  Out run(Attempt attempt);
  std::optional<std::string> frame(Out& out);
  bool answer(const std::string& record, Attempt attempt, Out& out);
  Result call(const std::string& record, Call& caller);
  std::string reply(const std::string& call, const Result& result) const;
  void close(Out& out, std::string why);

  Device& device_;
  Channel channel_;
  std::string unread_;  // bytes not yet framed, at most a record mark and a fragment
  std::string record_;  // the fragments of the record under way
  bool started_ = false;
  bool first_ = true;  // nothing framed yet: a web client shows itself here
  bool called_ = false;
  std::optional<std::string> pending_;  // the call that waits for the lock
  std::optional<std::chrono::milliseconds> waitFor_;
  bool closed_ = false;
};

}  // namespace vx::vxi11
