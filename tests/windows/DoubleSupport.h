#pragma once

// What the DLL doubles share: their settings from the environment, read at every call so that a
// test can change them between calls, their call log, into the file that the variable
// VX_DOUBLE_LOG (defined before this header) names, and the parallel port that two of them play.
// Each double is a DLL of its own.

#include <windows.h>

#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

// The functions keep their C names (and with --kill-at, their stdcall names lose the @ suffix).
#define VX_EXPORT extern "C" __declspec(dllexport)

inline std::string environment(const char* name) {
  char value[512];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

inline unsigned hexFromEnvironment(const char* name, unsigned fallback) {
  const std::string text = environment(name);
  return text.empty() ? fallback : static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

// Appends one line to the log, FORMAT (fmt's) with the arguments. Without a log the stream does
// not open and takes nothing.
template <typename... Args>
void log(std::string_view format, const Args&... args) {
  std::ofstream(environment(VX_DOUBLE_LOG), std::ios::app)
      << fmt::vformat(format, fmt::make_format_args(args...)) << '\n';
}

// A parallel port's registers at offsets 0 to 2 from its base; nothing answers at other offsets.
// The status register reads 0x78. Where the port can turn its data lines to input (control
// bit 5), the board drives its flag byte onto them. The DLL stands in for the hardware, which
// keeps its state from call to call.
struct PortRegisters {
  unsigned data = 0, control = 0xCC;

  unsigned read(unsigned offset, bool reversible, unsigned flags) const {
    if (offset == 0) return reversible && (control & 0x20) ? flags : data;
    return offset == 1 ? 0x78 : offset == 2 ? control : 0xFF;
  }
  void write(unsigned offset, unsigned value) {
    if (offset == 0) data = value & 0xFF;
    if (offset == 2) control = value & 0xFF;
  }
};
