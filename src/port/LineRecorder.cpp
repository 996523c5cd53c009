#include "port/LineRecorder.h"

#include <algorithm>
#include <chrono>

#include "port/ControlRegister.h"

namespace vx {

namespace {

constexpr std::size_t kStrobeLine = 8, kAutoFeedLine = 9, kInitLine = 10, kSelectInLine = 11,
                      kDirectionLine = 12;

char level(bool high) {
  return high ? '1' : '0';
}

}  // namespace

AccessClock fixedStepClock(std::int64_t stepNanoseconds) {
  return [stepNanoseconds, next = std::int64_t{0}]() mutable {
    const std::int64_t now = next;
    next += stepNanoseconds;
    return now;
  };
}

AccessClock steadyClock() {
  return [start = std::optional<std::chrono::steady_clock::time_point>()]() mutable {
    const auto now = std::chrono::steady_clock::now();
    if (!start) start = now;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now - *start).count();
  };
}

void LineRecorder::forget(LineListener& listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener), listeners_.end());
}

std::int16_t LineRecorder::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  const std::int16_t result = inner_.GetParallelPortInfo(port, info);
  if (result != 0 && !accessed_) base_ = info.baseAddress;
  return result;
}

std::int32_t LineRecorder::InByte(std::int32_t address) {
  const std::int64_t time = clock_();
  const std::int32_t value = inner_.InByte(address);
  record(address, true, static_cast<std::uint8_t>(value & 0xFF), time);
  return value;
}

void LineRecorder::OutByte(std::int32_t address, std::int32_t value) {
  const std::int64_t time = clock_();
  inner_.OutByte(address, value);
  record(address, false, static_cast<std::uint8_t>(value & 0xFF), time);
}

// Without the library's word on the base address (Windows 95 and 98 use 378h unasked), the
// first access tells it: port registers start at a multiple of 4.
void LineRecorder::record(std::int32_t address, bool read, std::uint8_t value, std::int64_t time) {
  if (!base_) base_ = address & ~3;
  accessed_ = true;
  const bool wasInput = control_ && (*control_ & lpt::kDirection) != 0;
  switch (address - *base_) {
    case lpt::kDataOffset:
      if (!read || !wasInput) dataLatch_ = value;
      if (read && wasInput) dataIn_ = value;
      break;
    case lpt::kControlOffset:
      control_ = value;
      // Turned to input: the lines are the board's, and unknown until read.
      if (!wasInput && (*control_ & lpt::kDirection) != 0) dataIn_.reset();
      break;
    default:
      return;  // the status register is not drawn
  }
  const LineAccess access{time, address, read, value, levels()};
  for (LineListener* listener : listeners_) listener->onAccess(access);
}

LineLevels LineRecorder::levels() const {
  LineLevels l;
  l.fill('x');
  const bool input = control_ && (*control_ & lpt::kDirection) != 0;
  const std::optional<std::uint8_t> lines = input ? dataIn_ : dataLatch_;
  if (lines)
    for (std::size_t bit = 0; bit < 8; ++bit) l[bit] = level(((*lines >> bit) & 1) != 0);
  if (control_) {
    const std::uint8_t c = *control_;
    l[kStrobeLine] = level((c & lpt::kStrobe) == 0);  // inverted: register bit set, pin low
    l[kAutoFeedLine] = level((c & lpt::kAutoFeed) == 0);
    l[kInitLine] = level((c & lpt::kInit) != 0);
    l[kSelectInLine] = level((c & lpt::kSelectIn) == 0);
    l[kDirectionLine] = level(input);
  }
  return l;
}

}  // namespace vx
