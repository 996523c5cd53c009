#include "posix/PosixSysServices.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>

extern char** environ;

namespace vx {

bool PosixFileTest::exists(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const auto slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return !name.empty() && name.front() != '.';
}

bool PosixLauncher::launch(const std::string& path) {
  if (path.empty()) return false;
  std::string argument0 = path;
  char* argv[] = {argument0.data(), nullptr};
  pid_t pid = 0;
  return ::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0;
}

}  // namespace vx
