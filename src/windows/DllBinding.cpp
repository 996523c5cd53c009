#include "windows/DllBinding.h"

#include <windows.h>

#include <fmt/format.h>

#include "port/FatalError.h"

namespace vx {

std::string systemMessage(unsigned long code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : fmt::format("error {}", code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

void DllBinding::load() {
  HMODULE module = LoadLibraryA(name_.c_str());
  if (!module) {
    const DWORD error = GetLastError();
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_DLL_NOT_FOUND ||
        error == ERROR_FILE_NOT_FOUND)
      throw FatalError(
          fmt::format(fmt::runtime(portIo_ ? "Run-time error '53': File not found: {}. {}"
                                           : "{} was not found. {}"),
                      name_, missing_));
    throw FatalError(
        fmt::format(fmt::runtime(portIo_ ? "Run-time error '48': Error in loading DLL {} ({}). Put "
                                           "the 32-bit {} beside the program and start it again."
                                         : "{} could not be loaded ({}). Put the {} beside the "
                                           "program and start it again."),
                    name_, systemMessage(error), wanted_));
  }
  module_ = module;
}

DllBinding::Proc DllBinding::lookup(const char* name) {
  if (!module_) load();
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), name);
  if (!address) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(static_cast<HMODULE>(module_), path, MAX_PATH);
    throw FatalError(fmt::format(
        fmt::runtime(
            portIo_ ? "Run-time error '453': Can't find DLL entry point {} in {}. The {} found at "
                      "{} is "
                      "not the port-I/O library this program needs: put the {} beside the program."
                    : "{} lacks the function {}: the {} found at {} is not the one this program "
                      "needs. Put the {} beside the program."),
        portIo_ ? name : name_, portIo_ ? name_ : name, name_, path, wanted_));
  }
  return reinterpret_cast<Proc>(address);
}

}  // namespace vx
