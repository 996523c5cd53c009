#include "port/Output.h"

#include <algorithm>

namespace vx {

std::size_t StreamSink::write(std::string_view bytes, std::error_code& error) {
  out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out_.flush();
  error = outputError(out_);
  return error ? 0 : bytes.size();
}

std::error_code StreamSink::close() {
  out_.flush();
  return outputError(out_);
}

void CheckedOutput::close() {
  if (closed_) return;
  sync();
  closed_ = true;
  if (const std::error_code e = sink_->close(); e && !error_) fail(e);
}

CheckedOutput::int_type CheckedOutput::overflow(int_type c) {
  if (error_ || closed_) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
  return traits_type::not_eof(c);
}

std::streamsize CheckedOutput::xsputn(const char* s, std::streamsize n) {
  if (error_ || closed_) return 0;
  pending_.append(s, static_cast<std::size_t>(n));
  return n;
}

// One record, whole: short writes are retried until it is complete or a write fails.
int CheckedOutput::sync() {
  if (error_ || closed_) return -1;
  std::string_view rest = pending_;
  while (!rest.empty()) {
    std::error_code e;
    const std::size_t n = sink_->write(rest, e);
    if (n == 0) {
      fail(e ? e : std::make_error_code(std::errc::io_error));
      return -1;
    }
    rest.remove_prefix(std::min(n, rest.size()));
  }
  written_ += pending_.size();
  pending_.clear();
  return 0;
}

void CheckedOutput::fail(std::error_code error) {
  error_ = error;
  failure_ = failing_ + ": " + error.message();
  pending_.clear();
  // Part of a record may have reached the file: cut it off, so that no line is left torn. Where
  // that cannot be done (a pipe), the reader sees the run end there.
  if (!closed_) sink_->truncate(written_);
  if (report_) report_(*failure_);
}

std::error_code outputError(const std::ostream& out) {
  if (const auto* checked = dynamic_cast<const CheckedOutput*>(out.rdbuf());
      checked && checked->error())
    return checked->error();
  return out.bad() ? std::make_error_code(std::errc::io_error) : std::error_code();
}

}  // namespace vx
