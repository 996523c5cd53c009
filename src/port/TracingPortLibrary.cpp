#include "port/TracingPortLibrary.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace vx {

namespace {

// Addresses: at least three upper-case hex digits. Bytes: two upper-case hex digits.
std::string address(std::int32_t a) {
  return fmt::format("0x{:03X}", static_cast<std::uint32_t>(a));
}
std::string byte(std::int32_t b) {
  return fmt::format("0x{:02X}", static_cast<std::uint32_t>(b));
}

}  // namespace

std::int16_t TracingPortLibrary::ClaimParallelPort(std::int32_t port, std::int32_t mode) {
  const auto result = inner_.ClaimParallelPort(port, mode);
  fmt::print(out_, "ClaimParallelPort {} {} -> {}\n", port, mode, result);
  out_.flush();
  return result;
}

std::int32_t TracingPortLibrary::GetParallelPortCount() {
  const auto result = inner_.GetParallelPortCount();
  fmt::print(out_, "GetParallelPortCount -> {}\n", result);
  out_.flush();
  return result;
}

std::int16_t TracingPortLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  const auto result = inner_.GetParallelPortInfo(port, info);
  if (result != 0)
    fmt::print(out_, "GetParallelPortInfo {} -> {} base={}\n", port, result,
               address(info.baseAddress));
  else
    fmt::print(out_, "GetParallelPortInfo {} -> {}\n", port, result);
  out_.flush();
  return result;
}

// Port accesses are written through at once, each line in one piece, so that a reader beside
// the running program sees every access, and a killed program loses none.
std::int32_t TracingPortLibrary::InByte(std::int32_t a) {
  const auto result = inner_.InByte(a);
  out_ << fmt::format("InByte {} -> {}\n", address(a), byte(result));
  out_.flush();
  return result;
}

void TracingPortLibrary::OutByte(std::int32_t a, std::int32_t value) {
  inner_.OutByte(a, value);
  out_ << fmt::format("OutByte {} {}\n", address(a), byte(value & 0xFF));
  out_.flush();
}

}  // namespace vx
