#include "windows/WinOsServices.h"

#include <windows.h>

#include <cstring>

namespace vx {

static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionRecord),
              "the version record must be Windows' OSVERSIONINFOA");
static_assert(sizeof(OSVERSIONINFOA::szCSDVersion) == sizeof(OsVersionRecord::szCSDVersion));

std::string argumentsAfterProgramName(std::string_view commandLine) {
  std::size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    i = close == std::string_view::npos ? commandLine.size() : close + 1;
  } else {
    i = commandLine.find_first_of(" \t");
    if (i == std::string_view::npos) i = commandLine.size();
  }
  while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
  return std::string(commandLine.substr(i));
}

bool runsUnderWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
  const auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

std::string besideProgram(const std::string& fileName) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string program(path, length);
  return program.substr(0, program.find_last_of('\\') + 1) + fileName;
}

void WinOsServices::queryVersion(OsVersionRecord& record) {
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = record.dwOSVersionInfoSize;
  info.dwMajorVersion = record.dwMajorVersion;
  info.dwMinorVersion = record.dwMinorVersion;
  info.dwBuildNumber = record.dwBuildNumber;
  info.dwPlatformId = record.dwPlatformId;
  std::memcpy(info.szCSDVersion, record.szCSDVersion, sizeof info.szCSDVersion);
  if (!GetVersionExA(&info)) return;
  record.dwMajorVersion = info.dwMajorVersion;
  record.dwMinorVersion = info.dwMinorVersion;
  // Windows 95 and 98 keep the version numbers in the build number's high word.
  record.dwBuildNumber = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS
                             ? info.dwBuildNumber & 0xFFFF
                             : info.dwBuildNumber;
  record.dwPlatformId = info.dwPlatformId;
  std::memcpy(record.szCSDVersion, info.szCSDVersion, sizeof record.szCSDVersion);
}

std::string WinOsServices::commandLine() {
  const char* line = GetCommandLineA();
  return argumentsAfterProgramName(line ? line : "");
}

}  // namespace vx
