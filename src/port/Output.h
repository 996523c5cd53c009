#pragma once

// Text that leaves the program, checked: the trace, the waveform, standard output. Nothing that
// cannot be written is lost in silence.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>

namespace vx {

// Where text goes: a file, or standard output. The platform folders hold the real ones; tests
// use their own.
class Sink {
 public:
  virtual ~Sink() = default;
  // Writes the start of bytes; returns how many bytes it took, or 0 with error set.
  virtual std::size_t write(std::string_view bytes, std::error_code& error) = 0;
  // Cuts a file back to its first size bytes; an error where that cannot be done (a pipe).
  virtual std::error_code truncate(std::uint64_t size) = 0;
  // Closes it: an error the system could only report now shows here.
  virtual std::error_code close() = 0;
};

// Opens a file to write, created or emptied; nullptr with error set when it cannot.
using OpenSink =
    std::function<std::unique_ptr<Sink>(const std::string& path, std::error_code& error)>;

// A stream as a sink: standard output as the program was given it, a test's string.
class StreamSink : public Sink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  std::size_t write(std::string_view bytes, std::error_code& error) override;
  std::error_code truncate(std::uint64_t) override {
    return std::make_error_code(std::errc::not_supported);
  }
  std::error_code close() override;

 private:
  std::ostream& out_;
};

// A stream buffer that writes checked. What is written between two flushes goes to the sink as
// one record, its short writes retried until the record is whole. The first failure stops it for
// good: nothing more is written, a file is cut back to the end of its last whole record (so it
// ends at a whole line), and the stream goes bad.
class CheckedOutput : public std::streambuf {
 public:
  // failing: what a failure says before its reason ("the trace could not be written to t.trace").
  CheckedOutput(std::unique_ptr<Sink> sink, std::string failing)
      : sink_(std::move(sink)), failing_(std::move(failing)) {}
  ~CheckedOutput() override { close(); }
  CheckedOutput(const CheckedOutput&) = delete;
  CheckedOutput& operator=(const CheckedOutput&) = delete;

  // Writes what waits, then closes the sink.
  void close();
  // Called once, at the failure, with failure()'s text.
  void onFailure(std::function<void(const std::string&)> report) { report_ = std::move(report); }
  // "the trace could not be written to t.trace: No space left on device", after a failure.
  const std::optional<std::string>& failure() const { return failure_; }
  std::error_code error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void fail(std::error_code error);

  std::unique_ptr<Sink> sink_;
  std::string failing_;
  std::string pending_;
  std::uint64_t written_ = 0;  // bytes of whole records in the sink
  bool closed_ = false;
  std::error_code error_;
  std::optional<std::string> failure_;
  std::function<void(const std::string&)> report_;
};

// Why writes to out failed: its CheckedOutput's reason, or a general one; none while it is good.
std::error_code outputError(const std::ostream& out);

}  // namespace vx
