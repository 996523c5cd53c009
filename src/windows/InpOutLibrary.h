#pragma once

// Windows only: InpOut32's inpout32.dll as the port-I/O library, the one that also works on
// 64-bit Windows.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/PortLibrary.h"
#include "windows/DllBinding.h"
#include "windows/WinPortList.h"

namespace vx {

// The port that --port picks: LPTn, or a base address given by hand. Neither: port n is LPTn.
struct PortChoice {
  int lpt = 0;
  std::int32_t base = 0;
};

// "" (no choice), "LPTn", or 0x and a base address in hex from 0x100 to 0xFFFD (below 0x100 sit
// the PC's own chips); in any letter case.
std::optional<PortChoice> parsePortChoice(std::string_view text);

// The port-I/O library's contract on InpOut32 1.5. Its inpout32.dll is bound as parllio.dll is
// (beside the program first, then on the system's DLL search path), at the first call, and reaches
// the registers through InpOut's own kernel driver, which 64-bit Windows loads too:
//  - GetParallelPortCount: the LPT ports that Windows lists, those whose addresses are unknown too.
//  - ClaimParallelPort n: checks that InpOut's driver is open, then opens \\.\LPTn without
//    sharing and holds it until the program ends, so that neither the print spooler nor another
//    program uses the port meanwhile; a port in use is refused. Where Windows lists ECP registers,
//    the claim then puts the port into byte mode (below). With a --port choice, port n is that
//    port: LPTm, or a base given by hand, which skips Windows' list, opens no device and leaves
//    the extended control register alone.
//  - GetParallelPortInfo n: the claimed port's base address; nothing without the claim.
//  - InByte and OutByte: Inp32 and Out32, whose addresses are 16 bits wide: one above 0x7FFF
//    travels as its low 16 bits.
//
// Byte mode: the refresh reads the flags with the data lines turned to input (control bit 5),
// and an ECP port obeys that bit only from byte (PS/2) mode up, not in the SPP mode it starts in.
// So the claim writes byte mode into the extended control register and reads it back, and a port
// where it does not stick is refused. These two accesses are the claim's own, like the driver's
// work in a ppdev claim: they do not pass through InByte and OutByte, so no trace shows them.
class InpOutLibrary : public PortLibrary {
 public:
  using PortList = std::function<std::vector<ListedPort>()>;

  // listPorts: Windows' list, read at the first call that needs it. missing: what to do when
  // inpout32.dll is not found.
  InpOutLibrary(PortChoice choice, PortList listPorts, std::string missing);
  ~InpOutLibrary() override;
  InpOutLibrary(const InpOutLibrary&) = delete;
  InpOutLibrary& operator=(const InpOutLibrary&) = delete;

  // mode is not used.
  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;
  void flush() override {}  // every access went out at once
  std::string failureReason() const override { return failureReason_; }

 private:
  // InpOut32's own signatures: stdcall, 16-bit addresses and values.
  using Inp32Fn = short(__stdcall*)(short address);
  using Out32Fn = void(__stdcall*)(short address, short value);
  using QueryFn = int(__stdcall*)();

  // Loads the DLL and binds what every call needs, so that a missing DLL shows at the first.
  void bind();
  const std::vector<ListedPort>& ports();
  std::int16_t refuse(std::string reason);
  std::string driverReason();
  std::string notListedReason(int number);

  DllBinding dll_;
  PortChoice choice_;
  PortList listPorts_;
  std::optional<std::vector<ListedPort>> ports_;
  Inp32Fn inp_ = nullptr;
  Out32Fn out_ = nullptr;
  QueryFn driverOpen_ = nullptr;
  QueryFn xp64_ = nullptr;
  void* device_ = nullptr;  // the LPT device, held open from the claim on
  std::int32_t claimedPort_ = 0;
  std::int32_t base_ = 0;
  std::string failureReason_;
};

}  // namespace vx
