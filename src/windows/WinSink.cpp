// Files and standard output through the C runtime's unbuffered _write: every write is checked as
// it happens. Files are binary; standard output keeps the mode the runtime gave it.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>

#include "app/Platform.h"

namespace vx {

namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

class WinSink : public Sink {
 public:
  WinSink(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~WinSink() override { close(); }

  std::size_t write(std::string_view bytes, std::error_code& error) override {
    const auto size = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), INT_MAX));
    const int n = ::_write(fd_, bytes.data(), size);
    if (n > 0) return static_cast<std::size_t>(n);
    error = n < 0 ? lastError() : std::make_error_code(std::errc::no_space_on_device);
    return 0;
  }
  std::error_code truncate(std::uint64_t size) override {
    const errno_t e = ::_chsize_s(fd_, static_cast<long long>(size));
    return e == 0 ? std::error_code() : std::error_code(e, std::generic_category());
  }
  // Standard output stays open: the program's exit closes it.
  std::error_code close() override {
    if (!owned_ || fd_ < 0) return {};
    const int fd = std::exchange(fd_, -1);
    return ::_close(fd) == 0 ? std::error_code() : lastError();
  }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

std::unique_ptr<Sink> openFileSink(const std::string& path, std::error_code& error) {
  const int fd = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    error = lastError();
    return nullptr;
  }
  return std::make_unique<WinSink>(fd, true);
}

std::unique_ptr<Sink> standardOutputSink() {
  return std::make_unique<WinSink>(_fileno(stdout), false);
}

}  // namespace vx
