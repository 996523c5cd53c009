#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// A character device's major and minor numbers.
struct DeviceNumber {
  unsigned major = 0;
  unsigned minor = 0;
};

// The few system calls the ppdev backend makes, so that tests can replace the kernel and check
// the exact ioctl sequence. Errors come back as negative errno values, never as exceptions.
class PpdevSystem {
 public:
  virtual ~PpdevSystem() = default;

  // Opens a device for reading and writing: a file descriptor, or -errno.
  virtual int open(const std::string& path) = 0;
  virtual void close(int fd) = 0;
  // 0, or -errno.
  virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
  // The device an open descriptor refers to; empty when it is no device or cannot be examined.
  virtual std::optional<DeviceNumber> deviceNumber(int fd) = 0;
  // A small text file's contents (such as a /proc entry); empty when it cannot be read.
  virtual std::optional<std::string> readTextFile(const std::string& path) = 0;
  // The names in a directory, without "." and ".."; none when it cannot be read.
  virtual std::vector<std::string> listDirectory(const std::string& path) = 0;
};

// The real calls, on POSIX.
class PosixPpdevSystem : public PpdevSystem {
 public:
  int open(const std::string& path) override;
  void close(int fd) override;
  int ioctl(int fd, unsigned long request, void* argument) override;
  std::optional<DeviceNumber> deviceNumber(int fd) override;
  std::optional<std::string> readTextFile(const std::string& path) override;
  std::vector<std::string> listDirectory(const std::string& path) override;
};

}  // namespace vx
