#include "sysinfo/SysInfo.h"

#include <stdexcept>
#include <vector>

#include "startup/Startup.h"

namespace vx {

namespace {

// Closes an open key however the caller leaves.
class OpenKey {
 public:
  OpenKey(Registry& registry, Registry::Key key) : registry_(registry), key_(key) {}
  ~OpenKey() { registry_.close(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  Registry::Key get() const { return key_; }

 private:
  Registry& registry_;
  Registry::Key key_;
};

}  // namespace

bool GetKeyValue(Registry& registry, std::uint32_t keyRoot, const std::string& keyName,
                 const std::string& subKeyRef, std::string& keyVal) {
  const auto opened = registry.open(keyRoot, keyName, kKeyRead);
  if (!opened) {
    keyVal.clear();
    return false;
  }
  OpenKey key(registry, *opened);
  std::vector<std::uint8_t> buffer(kValueBufferSize, 0);
  std::uint32_t size = kValueBufferSize;
  std::uint32_t type = 0;
  if (!registry.query(key.get(), subKeyRef, &type, buffer.data(), &size)) {
    keyVal.clear();
    return false;
  }
  if (size == 0 || size > kValueBufferSize)
    throw std::runtime_error("registry value " + subKeyRef + " has no usable data");
  // Drop the terminating zero, if the value was stored with one.
  const std::size_t kept = buffer[size - 1] == 0 ? size - 1 : size;
  if (type == kRegSz) {
    keyVal.assign(reinterpret_cast<const char*>(buffer.data()), kept);
  } else if (type == kRegDword) {
    std::uint64_t value = 0;
    for (std::size_t i = kept; i-- > 0;) value = (value << 8) | buffer[i];
    keyVal = std::to_string(value);
  }
  return true;
}

void StartSysInfo(Registry& registry, FileTest& files, Launcher& launcher, Messages& messages) {
  try {
    std::string path;
    if (!GetKeyValue(registry, kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                     "PATH", path)) {
      if (!GetKeyValue(registry, kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools Location",
                       "MSINFO", path) ||
          !files.exists(path + "\\MSINFO32.EXE"))
        throw std::runtime_error("not found");
      path += "\\MSINFO32.EXE";
    }
    if (launcher.launch(path)) return;
  } catch (const std::exception&) {
    // Every failure on the way ends in the same message.
  }
  messages.show({kSysInfoUnavailable, std::string(kAppTitle), MessageIcon::None, {}});
}

}  // namespace vx
