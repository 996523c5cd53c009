#include "port/VcdWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace vx {

namespace {

// The one-character identifier of signal i.
char id(std::size_t i) {
  return static_cast<char>('!' + i);
}

}  // namespace

VcdWriter::VcdWriter(LineRecorder& lines, std::ostream& out, std::string program, std::string date)
    : lines_(lines), out_(out), program_(std::move(program)), date_(std::move(date)) {
  shown_.fill('x');
  lines_.listen(*this);
}

VcdWriter::~VcdWriter() {
  lines_.forget(*this);
  if (!headerWritten_) {
    writeHeader();
    fmt::print(out_, "#0\n$dumpvars\n");
    for (std::size_t i = 0; i < shown_.size(); ++i) fmt::print(out_, "x{}\n", id(i));
    fmt::print(out_, "$end\n");
    out_.flush();
  }
}

void VcdWriter::onAccess(const LineAccess& access) {
  const LineLevels& now = access.levels;
  if (!headerWritten_) {
    writeHeader();
    fmt::print(out_, "#{}\n$dumpvars\n", access.time);
    for (std::size_t i = 0; i < now.size(); ++i) fmt::print(out_, "{}{}\n", now[i], id(i));
    fmt::print(out_, "$end\n");
  } else if (now != shown_) {
    std::string changes = fmt::format("#{}\n", access.time);
    for (std::size_t i = 0; i < now.size(); ++i)
      if (now[i] != shown_[i]) changes += fmt::format("{}{}\n", now[i], id(i));
    out_ << changes;
  }
  shown_ = now;
  out_.flush();
}

void VcdWriter::writeHeader() {
  const auto base = lines_.base();
  const std::string scope = base ? fmt::format("port_{:X}h", *base) : "port";
  const std::string comment =
      base ? fmt::format(
                 "parallel port at base address 0x{0:X}: data register 0x{0:X}, "
                 "control register 0x{1:X}",
                 *base, *base + 2)
           : "no port address was found: nothing reached the port";
  fmt::print(out_,
             "$date\n  {}\n$end\n$version\n  {}\n$end\n$comment\n  {}\n$end\n"
             "$timescale 1 ns $end\n$scope module {} $end\n",
             date_, program_, comment, scope);
  for (std::size_t i = 0; i < kLineNames.size(); ++i)
    fmt::print(out_, "$var wire 1 {} {} $end\n", id(i), kLineNames[i]);
  fmt::print(out_, "$upscope $end\n$enddefinitions $end\n");
  headerWritten_ = true;
}

}  // namespace vx
