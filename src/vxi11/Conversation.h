#pragma once

// VXI-11 as a conversation, with no I/O: a client's bytes in (ONC RPC calls in TCP's record
// marking), the replies out, so that the server, a test and a fuzz target drive the same code.
// The calls and replies are XDR from libtirpc and the routines rpcgen makes of vxi11.x.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "scpi/Scpi.h"
#include "scpi/Session.h"

namespace vx::vxi11 {

constexpr std::uint32_t kCoreProgram = 0x0607AF;
constexpr std::uint32_t kAbortProgram = 0x0607B0;
constexpr std::uint32_t kVersion = 1;

// VXI-11's error codes, as its replies carry them.
enum Error : std::int32_t {
  kNoError = 0,
  kDeviceNotAccessible = 3,
  kInvalidLink = 4,
  kParameterError = 5,
  kNotSupported = 8,
  kOutOfResources = 9,
  kLockedByAnother = 11,
  kNoLockHeld = 12,
  kIoTimeout = 15,
  kAborted = 23,
};

struct Limits {
  // The most data one device_write may carry, as create_link tells the client.
  std::size_t maxRecvSize = 16 * 1024;
  // The most a record may hold, all its fragments together: a write with its data, the call's
  // header and its credentials. A longer one closes the connection.
  std::size_t maxRecord = 16 * 1024 + 1024;
  // The most one device_read answers.
  std::size_t maxRead = 16 * 1024;
  // Links open at once, over every connection.
  std::size_t maxLinks = 16;
  // Answer messages waiting to be read on one link; past it the oldest is dropped.
  std::size_t maxMessages = 64;
};

class Conversation;

// The one device behind every link: the instrument, the links and the lock.
class Device {
 public:
  Device(ScpiInstrument& instrument, Limits limits = {});
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // The abort channel's port, which create_link tells the client.
  void setAbortPort(std::uint16_t port) { abortPort_ = port; }
  const Limits& limits() const { return limits_; }
  std::size_t links() const { return links_.size(); }
  // Where the link-id counter stands: the next link gets the next free id after last. (It counts
  // from 0; a test starts it near the top.)
  void countLinksFrom(std::uint32_t last) { lastLid_ = last; }
  // Called when a lock is released or a link is aborted: a call waiting on it may go on.
  std::function<void()> changed;

 private:
  friend class Conversation;
  struct Link {
    const Conversation* owner;
    ScpiConnection scpi;
    std::deque<std::string> output;  // answer messages not yet read, each ending in a newline
    bool aborted = false;
    bool midMessage = false;  // a write without END came last
  };
  void release(std::uint32_t lid);
  // A new link's id: 32 bits, as on the wire; never 0, never one still in use, wrapping past the
  // top.
  std::uint32_t newLid();

  ScpiInstrument& instrument_;
  Limits limits_;
  std::uint16_t abortPort_ = 0;
  std::map<std::uint32_t, Link> links_;
  std::uint32_t lock_ = 0;  // the link that holds the lock; 0: none
  std::uint32_t lastLid_ = 0;
};

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
  enum class Attempt { First, Again, Last };
  struct Result;
  Out run(Attempt attempt);
  Result call(const std::string& record, Attempt attempt);
  Result core(std::uint32_t procedure, const void* xdr, Attempt attempt);
  std::optional<std::int32_t> mayUse(std::uint32_t lid, std::int32_t flags, std::uint32_t timeout,
                                     Attempt attempt, std::chrono::milliseconds& wait);

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
