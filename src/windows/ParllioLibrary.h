#pragma once

// Windows only: the port-I/O library parllio.dll, bound at run time.

#include <string>

#include "port/PortLibrary.h"

namespace vx {

// The closed port-I/O library parllio.dll (32-bit, stdcall). The DLL is loaded by name at the
// first call, and each function is looked up by its plain name at its own first call, so a
// function this program never calls may be missing. A DLL that cannot be loaded, or a called
// function that it lacks, raises FatalError naming the DLL or the function and the remedy.
// The DLL stays loaded for the rest of the process: the port claim is never given back.
class ParllioLibrary : public PortLibrary {
 public:
  explicit ParllioLibrary(std::string libraryName = "parllio.dll")
      : libraryName_(std::move(libraryName)) {}
  ParllioLibrary(const ParllioLibrary&) = delete;
  ParllioLibrary& operator=(const ParllioLibrary&) = delete;

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  // Passes the value on widened from 16 bits with its sign, as the library expects.
  void OutByte(std::int32_t address, std::int32_t value) override;
  std::string failureReason() const override { return failureReason_; }

 private:
  // A function's address, before it is cast to its own stdcall type.
  using Proc = void (*)();

  // The DLL's function, looked up (and the DLL loaded) on first use; slot caches it.
  Proc function(const char* name, Proc& slot);
  void load();

  std::string libraryName_;
  void* module_ = nullptr;
  Proc claim_ = nullptr;
  Proc count_ = nullptr;
  Proc info_ = nullptr;
  Proc in_ = nullptr;
  Proc out_ = nullptr;
  std::string failureReason_;
};

}  // namespace vx
