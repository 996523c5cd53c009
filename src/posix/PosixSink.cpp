// Files and standard output through write(2), unbuffered: every write is checked as it happens.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "app/Platform.h"

namespace vx {

namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

class PosixSink : public Sink {
 public:
  PosixSink(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~PosixSink() override { close(); }

  std::size_t write(std::string_view bytes, std::error_code& error) override {
    ssize_t n;
    do n = ::write(fd_, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n > 0) return static_cast<std::size_t>(n);
    error = n < 0 ? lastError() : std::make_error_code(std::errc::io_error);
    return 0;
  }
  std::error_code truncate(std::uint64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? std::error_code() : lastError();
  }
  // Standard output stays open: the program's exit closes it.
  std::error_code close() override {
    if (!owned_ || fd_ < 0) return {};
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 ? std::error_code() : lastError();
  }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

std::unique_ptr<Sink> openFileSink(const std::string& path, std::error_code& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = lastError();
    return nullptr;
  }
  return std::make_unique<PosixSink>(fd, true);
}

std::unique_ptr<Sink> standardOutputSink() {
  return std::make_unique<PosixSink>(STDOUT_FILENO, false);
}

}  // namespace vx
