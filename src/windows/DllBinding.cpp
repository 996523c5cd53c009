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

DllMessages runTimeErrors(std::string wanted, std::string missing) {
  return [wanted = std::move(wanted), missing = std::move(missing)](const DllFault& f) {
    switch (f.kind) {
      case DllFault::Kind::NotFound:
        return fmt::format("Run-time error '53': File not found: {}. {}", f.dll, missing);
      case DllFault::Kind::NotLoaded:
        return fmt::format(
            "Run-time error '48': Error in loading DLL {} ({}). Put the 32-bit {} "
            "beside the program and start it again.",
            f.dll, f.error, wanted);
      case DllFault::Kind::NoFunction:
        break;
    }
    return fmt::format(
        "Run-time error '453': Can't find DLL entry point {} in {}. The {} found "
        "at {} is not the port-I/O library this program needs: put the {} beside "
        "the program.",
        f.function, f.dll, f.dll, f.path, wanted);
  };
}

bool DllBinding::load() {
  if (!module_)
    module_ = systemOnly_ ? LoadLibraryExA(name_.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                          : LoadLibraryA(name_.c_str());
  return module_ != nullptr;
}

DllBinding::Proc DllBinding::address(const char* name) {
  if (!load()) return nullptr;
  return reinterpret_cast<Proc>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

DllBinding::Proc DllBinding::lookup(const char* name) {
  if (!load()) {
    const DWORD error = GetLastError();
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_DLL_NOT_FOUND ||
        error == ERROR_FILE_NOT_FOUND)
      throw FatalError(messages_({.kind = DllFault::Kind::NotFound, .dll = name_}));
    throw FatalError(messages_(
        {.kind = DllFault::Kind::NotLoaded, .dll = name_, .error = systemMessage(error)}));
  }
  if (const Proc proc = address(name)) return proc;
  char path[MAX_PATH] = {};
  GetModuleFileNameA(static_cast<HMODULE>(module_), path, MAX_PATH);
  throw FatalError(messages_(
      {.kind = DllFault::Kind::NoFunction, .dll = name_, .function = name, .path = path}));
}

}  // namespace vx
