#include "windows/ParllioLibrary.h"

#include <fmt/format.h>

namespace vx {

ParllioLibrary::ParllioLibrary(bool wow64, std::string libraryName)
    : dll_(libraryName,
           runTimeErrors(libraryName + " that came with the board",
                         fmt::format("Put {} beside the program (in the folder that holds the "
                                     "program's .exe) and start it again.",
                                     libraryName))),
      wow64_(wow64) {}

std::int16_t ParllioLibrary::ClaimParallelPort(std::int32_t port, std::int32_t mode) {
  const std::int16_t result = dll_.function("ClaimParallelPort", claim_)(port, mode);
  if (result)
    failureReason_.clear();
  else if (wow64_)
    failureReason_ = fmt::format(
        "{} cannot reach a port on 64-bit Windows: it opens the port through a 32-bit kernel "
        "driver, and 64-bit Windows loads none. Install InpOut32 and put its inpout32.dll "
        "beside the program in place of {} (or start the program with --port-library "
        "inpout32), or run the board from Linux.",
        dll_.name(), dll_.name());
  else
    failureReason_ = fmt::format(
        "{} refused to claim port {}. Another program (a printer driver or the print spooler) "
        "may be using it: close it and start this program again.",
        dll_.name(), port);
  return result;
}

std::int32_t ParllioLibrary::GetParallelPortCount() {
  return dll_.function("GetParallelPortCount", count_)();
}

std::int16_t ParllioLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  const std::int16_t result = dll_.function("GetParallelPortInfo", info_)(port, &info);
  failureReason_ =
      result ? std::string()
             : fmt::format(
                   "{} knows no port {}. Check that the PC has a parallel port and that it is "
                   "enabled in the BIOS setup and in the Device Manager.",
                   dll_.name(), port);
  return result;
}

std::int32_t ParllioLibrary::InByte(std::int32_t address) {
  return dll_.function("InByte", in_)(address);
}

void ParllioLibrary::OutByte(std::int32_t address, std::int32_t value) {
  dll_.function("OutByte", out_)(address, static_cast<std::int16_t>(value));
}

}  // namespace vx
