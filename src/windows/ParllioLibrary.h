#pragma once

// Windows only: the port-I/O library parllio.dll, bound at run time.

#include <string>

#include "port/PortLibrary.h"
#include "windows/DllBinding.h"

namespace vx {

// The closed port-I/O library parllio.dll (32-bit, stdcall). The DLL is loaded by name at the
// first call, and each function is looked up by its plain name at its own first call, so a
// function this program never calls may be missing. A DLL that cannot be loaded, or a called
// function that it lacks, raises FatalError naming the DLL or the function and the remedy.
// The DLL stays loaded for the rest of the process: the port claim is never given back.
class ParllioLibrary : public PortLibrary {
 public:
  // wow64: the program is a 32-bit one on 64-bit Windows, where the library's driver never runs,
  // so a refused claim says that and what to use instead.
  explicit ParllioLibrary(bool wow64 = false, std::string libraryName = "parllio.dll");

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  // Passes the value on widened from 16 bits with its sign, as the library expects.
  void OutByte(std::int32_t address, std::int32_t value) override;
  void flush() override {}  // every access went out at once
  std::string failureReason() const override { return failureReason_; }

 private:
  // The library's own signatures: stdcall, 32-bit arguments, 16-bit success results.
  using ClaimParallelPortFn = std::int16_t(__stdcall*)(std::int32_t port, std::int32_t mode);
  using GetParallelPortCountFn = std::int32_t(__stdcall*)();
  using GetParallelPortInfoFn = std::int16_t(__stdcall*)(std::int32_t port, PortInfoRecord* info);
  using InByteFn = std::int32_t(__stdcall*)(std::int32_t address);
  using OutByteFn = void(__stdcall*)(std::int32_t address, std::int32_t value);

  DllBinding dll_;
  bool wow64_;
  ClaimParallelPortFn claim_ = nullptr;
  GetParallelPortCountFn count_ = nullptr;
  GetParallelPortInfoFn info_ = nullptr;
  InByteFn in_ = nullptr;
  OutByteFn out_ = nullptr;
  std::string failureReason_;
};

}  // namespace vx
