#include "windows/ParllioLibrary.h"

#include <windows.h>

#include <fmt/format.h>

#include "port/FatalError.h"

namespace vx {

namespace {

// The library's own signatures: stdcall, 32-bit arguments, 16-bit success results.
using ClaimParallelPortFn = std::int16_t(__stdcall*)(std::int32_t port, std::int32_t mode);
using GetParallelPortCountFn = std::int32_t(__stdcall*)();
using GetParallelPortInfoFn = std::int16_t(__stdcall*)(std::int32_t port, PortInfoRecord* info);
using InByteFn = std::int32_t(__stdcall*)(std::int32_t address);
using OutByteFn = void(__stdcall*)(std::int32_t address, std::int32_t value);

// The system's text for an error code, without its trailing line break.
std::string systemMessage(DWORD code) {
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

}  // namespace

void ParllioLibrary::load() {
  HMODULE module = LoadLibraryA(libraryName_.c_str());
  if (!module) {
    const DWORD error = GetLastError();
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_DLL_NOT_FOUND ||
        error == ERROR_FILE_NOT_FOUND)
      throw FatalError(fmt::format(
          "Run-time error '53': File not found: {0}. Put {0} beside the program (in the folder "
          "that holds the program's .exe) and start it again.",
          libraryName_));
    throw FatalError(fmt::format(
        "Run-time error '48': Error in loading DLL {0} ({1}). Put the 32-bit {0} that came with "
        "the board beside the program and start it again.",
        libraryName_, systemMessage(error)));
  }
  module_ = module;
}

ParllioLibrary::Proc ParllioLibrary::function(const char* name, Proc& slot) {
  if (slot) return slot;
  if (!module_) load();
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), name);
  if (!address) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(static_cast<HMODULE>(module_), path, MAX_PATH);
    throw FatalError(fmt::format(
        "Run-time error '453': Can't find DLL entry point {} in {}. The {} found at {} is not "
        "the port-I/O library this program needs: put the {} that came with the board beside "
        "the program.",
        name, libraryName_, libraryName_, path, libraryName_));
  }
  slot = reinterpret_cast<Proc>(address);
  return slot;
}

std::int16_t ParllioLibrary::ClaimParallelPort(std::int32_t port, std::int32_t mode) {
  const auto claim = reinterpret_cast<ClaimParallelPortFn>(function("ClaimParallelPort", claim_));
  const std::int16_t result = claim(port, mode);
  failureReason_ =
      result ? std::string()
             : fmt::format(
                   "{} refused to claim port {}. Another program (a printer driver or the print "
                   "spooler) may be using it: close it and start this program again.",
                   libraryName_, port);
  return result;
}

std::int32_t ParllioLibrary::GetParallelPortCount() {
  const auto count =
      reinterpret_cast<GetParallelPortCountFn>(function("GetParallelPortCount", count_));
  return count();
}

std::int16_t ParllioLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  const auto query =
      reinterpret_cast<GetParallelPortInfoFn>(function("GetParallelPortInfo", info_));
  const std::int16_t result = query(port, &info);
  failureReason_ =
      result ? std::string()
             : fmt::format(
                   "{} knows no port {}. Check that the PC has a parallel port and that it is "
                   "enabled in the BIOS setup and in the Device Manager.",
                   libraryName_, port);
  return result;
}

std::int32_t ParllioLibrary::InByte(std::int32_t address) {
  const auto in = reinterpret_cast<InByteFn>(function("InByte", in_));
  return in(address);
}

void ParllioLibrary::OutByte(std::int32_t address, std::int32_t value) {
  const auto out = reinterpret_cast<OutByteFn>(function("OutByte", out_));
  out(address, static_cast<std::int16_t>(value));
}

}  // namespace vx
