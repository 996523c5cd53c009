#include "port/VcdPortLibrary.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <chrono>

#include "port/ControlRegister.h"

namespace vx {

namespace {

constexpr std::array<const char*, 13> kSignals{"D0",    "D1",        "D2", "D3",      "D4",
                                               "D5",    "D6",        "D7", "nSTROBE", "nAUTOFD",
                                               "nINIT", "nSELECTIN", "DIR"};
constexpr std::size_t kStrobeLine = 8, kAutoFeedLine = 9, kInitLine = 10, kSelectInLine = 11,
                      kDirectionLine = 12;

// The one-character identifier of signal i.
char id(std::size_t i) {
  return static_cast<char>('!' + i);
}

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

VcdPortLibrary::VcdPortLibrary(PortLibrary& inner, std::ostream& out, AccessClock clock,
                               std::string program, std::string date)
    : inner_(inner),
      out_(out),
      clock_(std::move(clock)),
      program_(std::move(program)),
      date_(std::move(date)) {
  shown_.fill('x');
}

VcdPortLibrary::~VcdPortLibrary() {
  if (!headerWritten_) {
    writeHeader();
    fmt::print(out_, "#0\n$dumpvars\n");
    for (std::size_t i = 0; i < shown_.size(); ++i) fmt::print(out_, "x{}\n", id(i));
    fmt::print(out_, "$end\n");
    out_.flush();
  }
}

std::int16_t VcdPortLibrary::ClaimParallelPort(std::int32_t port, std::int32_t mode) {
  return inner_.ClaimParallelPort(port, mode);
}

std::int32_t VcdPortLibrary::GetParallelPortCount() {
  return inner_.GetParallelPortCount();
}

std::int16_t VcdPortLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  const std::int16_t result = inner_.GetParallelPortInfo(port, info);
  if (result != 0 && !headerWritten_) base_ = info.baseAddress;
  return result;
}

std::int32_t VcdPortLibrary::InByte(std::int32_t address) {
  const std::int64_t time = clock_();
  const std::int32_t value = inner_.InByte(address);
  record(address, std::nullopt, static_cast<std::uint8_t>(value & 0xFF), time);
  return value;
}

void VcdPortLibrary::OutByte(std::int32_t address, std::int32_t value) {
  const std::int64_t time = clock_();
  inner_.OutByte(address, value);
  record(address, static_cast<std::uint8_t>(value & 0xFF), std::nullopt, time);
}

// Without the library's word on the base address (Windows 95 and 98 use 378h unasked), the
// first access tells it: port registers start at a multiple of 4.
void VcdPortLibrary::record(std::int32_t address, std::optional<std::uint8_t> written,
                            std::optional<std::uint8_t> read, std::int64_t time) {
  if (!base_) base_ = address & ~3;
  const bool wasInput = control_ && (*control_ & lpt::kDirection) != 0;
  const std::optional<std::uint8_t> value = written ? written : read;
  switch (address - *base_) {
    case lpt::kDataOffset:
      if (written || !wasInput) dataLatch_ = *value;
      if (read && wasInput) dataIn_ = *read;
      break;
    case lpt::kControlOffset:
      control_ = *value;
      // Turned to input: the lines are the board's, and unknown until read.
      if (!wasInput && (*control_ & lpt::kDirection) != 0) dataIn_.reset();
      break;
    default:
      return;  // the status register is not drawn
  }
  const Levels now = levels();
  if (!headerWritten_) {
    writeHeader();
    fmt::print(out_, "#{}\n$dumpvars\n", time);
    for (std::size_t i = 0; i < now.size(); ++i) fmt::print(out_, "{}{}\n", now[i], id(i));
    fmt::print(out_, "$end\n");
  } else if (now != shown_) {
    std::string changes = fmt::format("#{}\n", time);
    for (std::size_t i = 0; i < now.size(); ++i)
      if (now[i] != shown_[i]) changes += fmt::format("{}{}\n", now[i], id(i));
    out_ << changes;
  }
  shown_ = now;
  out_.flush();
}

VcdPortLibrary::Levels VcdPortLibrary::levels() const {
  Levels l;
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

void VcdPortLibrary::writeHeader() {
  const std::string scope = base_ ? fmt::format("port_{:X}h", *base_) : "port";
  const std::string comment =
      base_ ? fmt::format(
                  "parallel port at base address 0x{0:X}: data register 0x{0:X}, "
                  "control register 0x{1:X}",
                  *base_, *base_ + 2)
            : "no port address was found: nothing reached the port";
  fmt::print(out_,
             "$date\n  {}\n$end\n$version\n  {}\n$end\n$comment\n  {}\n$end\n"
             "$timescale 1 ns $end\n$scope module {} $end\n",
             date_, program_, comment, scope);
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    fmt::print(out_, "$var wire 1 {} {} $end\n", id(i), kSignals[i]);
  fmt::print(out_, "$upscope $end\n$enddefinitions $end\n");
  headerWritten_ = true;
}

}  // namespace vx
