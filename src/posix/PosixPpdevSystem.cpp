#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "posix/PpdevSystem.h"

namespace vx {

int PosixPpdevSystem::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return fd >= 0 ? fd : -errno;
}

void PosixPpdevSystem::close(int fd) {
  ::close(fd);
}

int PosixPpdevSystem::ioctl(int fd, unsigned long request, void* argument) {
  return ::ioctl(fd, request, argument) == 0 ? 0 : -errno;
}

std::optional<DeviceNumber> PosixPpdevSystem::deviceNumber(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
  return DeviceNumber{major(st.st_rdev), minor(st.st_rdev)};
}

std::optional<std::string> PosixPpdevSystem::readTextFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> PosixPpdevSystem::listDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

}  // namespace vx
