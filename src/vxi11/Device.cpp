#include "vxi11/Device.h"

#include <algorithm>
#include <utility>

namespace vx::vxi11 {

namespace {

constexpr std::uint8_t kMessageAvailable = 0x10;

bool sameLetters(std::string_view a, std::string_view lower) {
  return a.size() == lower.size() &&
         std::equal(a.begin(), a.end(), lower.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? static_cast<char>(x | 0x20) : x) == y;
         });
}

}  // namespace

Device::Device(ScpiInstrument& instrument, Limits limits)
    : instrument_(instrument), limits_(limits) {}

std::uint32_t Device::newLid() {
  do ++lastLid_;
  while (lastLid_ == 0 || links_.contains(lastLid_));
  return lastLid_;
}

Device::Link* Device::find(const void* owner, std::uint32_t lid) {
  const auto link = links_.find(lid);
  return link == links_.end() || link->second.owner != owner ? nullptr : &link->second;
}

std::int32_t Device::waitForLock(Caller& caller, std::uint32_t lid, bool mayWait,
                                 std::uint32_t timeout) {
  if (lock_ == 0 || lock_ == lid) return kNoError;
  if (mayWait && timeout > 0 && caller.attempt != Attempt::Last) {
    caller.wait = std::chrono::milliseconds(timeout);
    return kNoError;
  }
  return kLockedByAnother;
}

void Device::release(std::uint32_t lid) {
  if (lock_ != lid) return;
  lock_ = 0;
  if (changed) changed();
}

std::int32_t Device::open(Caller& caller, std::string_view name, bool lock, std::uint32_t timeout,
                          std::uint32_t& lid) {
  if (!sameLetters(name, "inst0")) return kDeviceNotAccessible;
  if (links_.size() >= limits_.maxLinks) return kOutOfResources;
  if (lock) {
    // No link of its own yet: any lock is another's.
    const std::int32_t error = waitForLock(caller, 0, true, timeout);
    if (error != kNoError || caller.wait) return error;
  }
  lid = newLid();
  links_.emplace(lid, Link{caller.owner, ScpiConnection(false), {}});
  if (lock) lock_ = lid;
  return kNoError;
}

std::int32_t Device::check(Caller& caller, std::uint32_t lid, bool waitLock,
                           std::uint32_t timeout) {
  Link* link = find(caller.owner, lid);
  if (!link) return kInvalidLink;
  if (caller.attempt == Attempt::First) link->aborted = false;
  if (std::exchange(link->aborted, false)) return kAborted;
  return waitForLock(caller, lid, waitLock, timeout);
}

void Device::write(std::uint32_t lid, std::string message, bool end) {
  Link& link = links_.at(lid);
  // A new message while answers wait unread: they are lost, as IEEE 488.2 says.
  if (!link.midMessage && !link.output.empty()) {
    link.output.clear();
    link.scpi.client().error(-410, "Query INTERRUPTED");
  }
  link.midMessage = !end;
  if (end && (message.empty() || message.back() != '\n')) message += '\n';
  const std::string answers = link.scpi.feed(message, instrument_);
  for (std::size_t at = 0, next; (next = answers.find('\n', at)) != std::string::npos;
       at = next + 1) {
    if (link.output.size() == limits_.maxMessages) link.output.pop_front();
    link.output.push_back(answers.substr(at, next + 1 - at));
  }
}

Device::Read Device::read(std::uint32_t lid, std::size_t requestSize,
                          std::optional<char> termChar) {
  Link& link = links_.at(lid);
  Read r;
  if (link.output.empty()) {
    // Nothing was asked: no answer will come while this link waits.
    link.scpi.client().error(-420, "Query UNTERMINATED");
    r.error = kIoTimeout;
    return r;
  }
  std::string& message = link.output.front();
  std::size_t n = std::min({requestSize, limits_.maxRead, message.size()});
  if (termChar) {
    const auto at = message.find(*termChar);
    if (at < n) {
      n = at + 1;
      r.reason |= kReasonChar;
    }
  }
  if (n == requestSize) r.reason |= kReasonRequestCount;
  r.data = message.substr(0, n);
  message.erase(0, n);
  if (message.empty()) {
    r.reason |= kReasonEnd;
    link.output.pop_front();
  }
  return r;
}

std::uint8_t Device::statusByte(std::uint32_t lid) {
  Link& link = links_.at(lid);
  return instrument_.statusByte(link.scpi.client()) | (link.output.empty() ? 0 : kMessageAvailable);
}

void Device::clear(std::uint32_t lid) {
  Link& link = links_.at(lid);
  ScpiConnection fresh(false);
  fresh.client() = link.scpi.client();
  link.scpi = std::move(fresh);
  link.output.clear();
  link.midMessage = false;
}

std::int32_t Device::unlock(const void* owner, std::uint32_t lid) {
  if (!find(owner, lid)) return kInvalidLink;
  if (lock_ != lid) return kNoLockHeld;
  release(lid);
  return kNoError;
}

std::int32_t Device::close(const void* owner, std::uint32_t lid) {
  if (!find(owner, lid)) return kInvalidLink;
  links_.erase(lid);
  release(lid);
  return kNoError;
}

void Device::closeAll(const void* owner) {
  const auto held = links_.find(lock_);
  const bool freed = held != links_.end() && held->second.owner == owner;
  std::erase_if(links_, [owner](const auto& link) { return link.second.owner == owner; });
  if (!freed) return;
  lock_ = 0;
  if (changed) changed();
}

std::int32_t Device::abort(std::uint32_t lid) {
  const auto link = links_.find(lid);
  if (link == links_.end()) return kInvalidLink;
  link->second.aborted = true;
  if (changed) changed();
  return kNoError;
}

}  // namespace vx::vxi11
