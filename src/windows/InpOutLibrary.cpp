#include "windows/InpOutLibrary.h"

#include <windows.h>

#include <fmt/format.h>
#include <algorithm>
#include <charconv>

#include "port/ControlRegister.h"

namespace vx {

namespace {

short address16(std::int32_t address) {
  return static_cast<short>(static_cast<std::uint16_t>(address));
}

}  // namespace

std::optional<PortChoice> parsePortChoice(std::string_view text) {
  if (text.empty()) return PortChoice{};
  if (const auto number = lptNumber(text)) return PortChoice{*number, 0};
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  unsigned base = 0;
  const auto [end, error] = std::from_chars(text.data() + 2, text.data() + text.size(), base, 16);
  if (error != std::errc() || end != text.data() + text.size() || base < 0x100 || base > 0xFFFD)
    return std::nullopt;
  return PortChoice{0, static_cast<std::int32_t>(base)};
}

InpOutLibrary::InpOutLibrary(PortChoice choice, PortList listPorts, std::string missing)
    : dll_("inpout32.dll", runTimeErrors("inpout32.dll of InpOut32 1.5", std::move(missing))),
      choice_(choice),
      listPorts_(std::move(listPorts)) {}

InpOutLibrary::~InpOutLibrary() {
  if (device_) CloseHandle(device_);
}

void InpOutLibrary::bind() {
  dll_.function("Inp32", inp_);
  dll_.function("Out32", out_);
  dll_.function("IsInpOutDriverOpen", driverOpen_);
}

const std::vector<ListedPort>& InpOutLibrary::ports() {
  if (!ports_) ports_ = listPorts_();
  return *ports_;
}

std::int16_t InpOutLibrary::refuse(std::string reason) {
  failureReason_ = std::move(reason);
  return 0;
}

std::int32_t InpOutLibrary::GetParallelPortCount() {
  bind();
  return static_cast<std::int32_t>(ports().size());
}

std::int16_t InpOutLibrary::ClaimParallelPort(std::int32_t port, std::int32_t) {
  bind();
  if (!driverOpen_()) return refuse(driverReason());
  std::int32_t ecp = 0;
  std::string name = fmt::format("The port at 0x{:X}", choice_.base);
  if (choice_.base) {
    base_ = choice_.base;
  } else {
    const int number = choice_.lpt ? choice_.lpt : port;
    const auto listed = std::find_if(ports().begin(), ports().end(),
                                     [number](const ListedPort& p) { return p.number == number; });
    if (listed == ports().end()) return refuse(notListedReason(number));
    if (listed->base == 0)
      return refuse(fmt::format(
          "Windows lists LPT{}, but its I/O addresses could not be read. Give its base address "
          "with --port 0xADDR: the Device Manager shows it in the port's Properties, Resources.",
          number));
    const std::string device = fmt::format("\\\\.\\LPT{}", number);
    const HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED)
        return refuse(fmt::format(
            "LPT{} is in use: a printer driver, the print spooler or another program has it open. "
            "Close that program, or let the printing finish, and start this program again.",
            number));
      return refuse(
          fmt::format("Windows could not open LPT{} ({}).", number, systemMessage(error)));
    }
    device_ = handle;
    base_ = listed->base;
    ecp = listed->ecp;
    name = fmt::format("LPT{}", number);
  }
  if (ecp) {
    const short control = address16(ecp + ecr::kOffset);
    out_(control, ecr::kByteMode | ecr::kInterruptsOff);
    const auto mode = static_cast<std::uint8_t>(inp_(control));
    if ((mode & ecr::kModeMask) != ecr::kByteMode) {
      CloseHandle(device_);
      device_ = nullptr;
      return refuse(fmt::format(
          "{} did not take byte (PS/2) mode: its extended control register at 0x{:X} read back "
          "0x{:02X} after 0x{:02X} was written, and in the mode it is in, the port cannot turn "
          "its data lines to input to read the flags. Set the port to PS/2 (bidirectional), EPP "
          "or ECP in the BIOS setup or in the card's settings. Or give the base by hand, "
          "--port 0x{:X}, which leaves that register alone.",
          name, ecp + ecr::kOffset, mode, ecr::kByteMode | ecr::kInterruptsOff, base_));
    }
  }
  claimedPort_ = port;
  failureReason_.clear();
  return 1;
}

std::int16_t InpOutLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  bind();
  // Without the claim there is no address to give, and the reason stays the claim's.
  if (claimedPort_ == 0 || port != claimedPort_) return 0;
  info.baseAddress = base_;
  return 1;
}

std::int32_t InpOutLibrary::InByte(std::int32_t address) {
  bind();
  return static_cast<std::uint8_t>(inp_(address16(address)));
}

void InpOutLibrary::OutByte(std::int32_t address, std::int32_t value) {
  bind();
  out_(address16(address), static_cast<short>(value & 0xFF));
}

std::string InpOutLibrary::driverReason() {
  std::string reason =
      "InpOut32's driver is not running: it is not installed yet, or Windows refused to load it. "
      "Start this program once as administrator (right-click it, Run as administrator): "
      "inpout32.dll then installs its driver, and any user can use the port afterwards. Or run "
      "setup again and give it inpout32.dll.";
  if (dll_.function("IsXP64Bit", xp64_)())
    reason +=
        " On Windows 10 and 11, Memory Integrity (Windows Security, Device security, Core "
        "isolation) or Microsoft's vulnerable-driver blocklist may refuse InpOut's driver: see "
        "the README, 64-bit Windows.";
  return reason;
}

std::string InpOutLibrary::notListedReason(int number) {
  std::vector<std::string> names;
  for (const ListedPort& listed : ports()) names.push_back(fmt::format("LPT{}", listed.number));
  if (names.empty())
    return "Windows lists no parallel port: the Device Manager shows none under Ports (COM & "
           "LPT). Enable the port in the BIOS setup or install the card's driver, or give the "
           "port's base address with --port 0xADDR.";
  return fmt::format(
      "Windows lists no LPT{}, only {}. Pick one with --port LPTn, or give a base address with "
      "--port 0xADDR.",
      number, fmt::join(names, ", "));
}

}  // namespace vx
