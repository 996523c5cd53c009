#include "windows/WinSysServices.h"

#include <windows.h>

namespace vx {

namespace {

HKEY toHandle(Registry::Key key) {
  return reinterpret_cast<HKEY>(key);
}

// The predefined root keys are small negative handle values (HKEY_LOCAL_MACHINE is 0x80000002).
HKEY rootHandle(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

}  // namespace

std::optional<Registry::Key> WinRegistry::open(std::uint32_t root, const std::string& path,
                                               std::uint32_t access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(rootHandle(root), path.c_str(), 0, access, &key) != ERROR_SUCCESS)
    return std::nullopt;
  return reinterpret_cast<Key>(key);
}

bool WinRegistry::query(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* buffer,
                        std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD dataSize = *size;
  if (RegQueryValueExA(toHandle(key), name.c_str(), nullptr, &valueType, buffer, &dataSize) !=
      ERROR_SUCCESS)
    return false;
  *type = valueType;
  *size = dataSize;
  return true;
}

void WinRegistry::close(Key key) {
  RegCloseKey(toHandle(key));
}

bool WinFileTest::exists(const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  constexpr DWORD kNotAPlainFile =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  const bool plainFile = (found.dwFileAttributes & kNotAPlainFile) == 0;
  FindClose(search);
  return plainFile;
}

bool WinLauncher::launch(const std::string& path) {
  if (path.empty()) return false;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  // The program sees its own quoted path as its command line, as when started from Explorer.
  std::string commandLine = "\"" + path + "\"";
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace vx
