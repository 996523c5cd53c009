#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "port/PortLibrary.h"
#include "posix/PpdevDiagnostics.h"
#include "posix/PpdevSystem.h"

namespace vx {

// The port library on Linux, on the kernel's ppdev driver (/dev/parportN).
//
// Port n is /dev/parport(n-1), unless a device is named, which then stands for every port
// number. The claim is exclusive (PPEXCL, then PPCLAIM) and is held until the object is
// destroyed, that is until the program ends. The base address comes from the kernel's
// /proc/sys/dev/parport/parportN/base-addr, so on-board ports and PCI/PCIe cards work alike.
//
// InByte and OutByte reach the port only through ppdev's register ioctls, at the claimed port's
// base address:
//   base + 0  data:    PPRDATA / PPWDATA
//   base + 1  status:  PPRSTATUS (read only)
//   base + 2  control: see OutByte and InByte in the .cpp
// Any other address, and any access before the claim and the address are known, is refused
// without touching the device: writes are dropped, reads give 0xFF.
class PpdevPortLibrary : public PortLibrary {
 public:
  // device: the device to use for every port number; empty for /dev/parport(n-1).
  explicit PpdevPortLibrary(std::shared_ptr<PpdevSystem> system, std::string device = {});
  ~PpdevPortLibrary() override;
  PpdevPortLibrary(const PpdevPortLibrary&) = delete;
  PpdevPortLibrary& operator=(const PpdevPortLibrary&) = delete;

  // mode is not used: ppdev has no use for it.
  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  // The ports the kernel's parport layer lists, whether or not ppdev offers them.
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;
  void flush() override {}  // every access went out at once
  std::string failureReason() const override { return describe(failure_); }
  const PpdevFailure& failure() const { return failure_; }

  // The device that port n stands for.
  std::string devicePath(std::int32_t port) const;

 private:
  bool claimed() const { return fd_ >= 0; }
  // The register offset of an address, when it is one this backend serves.
  std::optional<int> offsetOf(std::int32_t address) const;
  std::uint8_t readByte(unsigned long request, const char* name);
  void writeByte(unsigned long request, const char* name, std::uint8_t value);
  void setDirection(bool input);
  using Kind = PpdevFailure::Kind;
  // Records why a claim or address query failed; returns the failed call's 0.
  std::int16_t fail(Kind kind, const std::string& path, std::int32_t port, int error = 0);
  std::int16_t failClaim(const std::string& path, std::int32_t port, int error);

  std::shared_ptr<PpdevSystem> system_;
  std::string device_;
  int fd_ = -1;
  std::int32_t claimedPort_ = 0;
  std::string claimedPath_;
  int kernelPort_ = -1;  // N in /proc/sys/dev/parport/parportN
  std::int32_t base_ = 0;
  bool input_ = false;  // data direction as last set; the claim leaves the port driving
  PpdevFailure failure_;
};

}  // namespace vx
