#pragma once

// The one device behind every VXI-11 link: the instrument, the links (each one a SCPI client of
// it, with its own error queue and its answers not yet read) and the exclusive lock, with the
// rules of who may act on a link now and who must wait for the lock. No I/O and no XDR.

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

// VXI-11's RPC programs: the core channel and the abort channel, each in version 1.
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

// The reasons a read ends, as device_read's reply carries them.
constexpr std::int32_t kReasonRequestCount = 0x01, kReasonChar = 0x02, kReasonEnd = 0x04;

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

// Which try a call is at: its first; again, once the lock may be free or its link was aborted;
// or its last, its time to wait for the lock up.
enum class Attempt { First, Again, Last };

// Who makes a call: the connection whose links it may name, and which try it is. A call that
// must wait for the lock is told how long here.
struct Caller {
  const void* owner;
  Attempt attempt = Attempt::First;
  std::optional<std::chrono::milliseconds> wait = {};
};

class Device {
 public:
  Device(ScpiInstrument& instrument, Limits limits = {});
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // The abort channel's port, which create_link tells the client.
  void setAbortPort(std::uint16_t port) { abortPort_ = port; }
  std::uint16_t abortPort() const { return abortPort_; }
  const Limits& limits() const { return limits_; }
  // Where the link-id counter stands: the next link gets the next free id after last. (It counts
  // from 0; a test starts it near the top.)
  void countLinksFrom(std::uint32_t last) { lastLid_ = last; }
  // Called when a lock is released or a link is aborted: a call waiting on it may go on.
  std::function<void()> changed;

  // Opens a link for caller to the device named (inst0, in any letter case), taking the lock
  // when asked, and waiting up to timeout ms for it while another link holds it. The new link's
  // id, or the error: 3 (no such device), 9 (too many links), 11 (locked); a wait sets none.
  std::int32_t open(Caller& caller, std::string_view name, bool lock, std::uint32_t timeout,
                    std::uint32_t& lid);
  // Whether caller may act on link lid now: the error when not, 4 (not its link), 23 (aborted
  // since this call came) or 11 (another link holds the lock). With waitLock and a timeout, a
  // call that finds the lock held waits for it instead, up to timeout ms, until its last try.
  std::int32_t check(Caller& caller, std::uint32_t lid, bool waitLock, std::uint32_t timeout);

  // What a link that may act does. A message is what device_write carries; end: it ends there.
  void write(std::uint32_t lid, std::string message, bool end);
  // Up to requestSize bytes of the oldest answer not yet read, cut after termChar when given; its
  // reasons, or error 15 when no answer waits.
  struct Read {
    std::int32_t error = kNoError;
    std::int32_t reason = 0;
    std::string data;
  };
  Read read(std::uint32_t lid, std::size_t requestSize, std::optional<char> termChar);
  // The link's status byte, with the message-available bit.
  std::uint8_t statusByte(std::uint32_t lid);
  // Device clear: what is half read or unread goes; the error queue stays.
  void clear(std::uint32_t lid);
  void lock(std::uint32_t lid) { lock_ = lid; }

  // Releases the lock that owner's link lid holds: 4 (not its link), 12 (it holds none).
  std::int32_t unlock(const void* owner, std::uint32_t lid);
  // Closes owner's link lid, releasing the lock it held: 4 when it is not its link.
  std::int32_t close(const void* owner, std::uint32_t lid);
  // Closes every link of owner's, as its connection goes.
  void closeAll(const void* owner);
  // From the abort channel, any connection's link: its call under way (or waiting for the lock)
  // ends with 23. With no call under way the abort is forgotten when the next call starts.
  std::int32_t abort(std::uint32_t lid);

 private:
  struct Link {
    const void* owner;
    ScpiConnection scpi;
    std::deque<std::string> output;  // answer messages not yet read, each ending in a newline
    bool aborted = false;
    bool midMessage = false;  // a write without END came last
  };
  Link* find(const void* owner, std::uint32_t lid);
  // Whether a call may go on now that another link may hold the lock: error 11, or a wait, or
  // none.
  std::int32_t waitForLock(Caller& caller, std::uint32_t lid, bool mayWait, std::uint32_t timeout);
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

}  // namespace vx::vxi11
