#pragma once

// Windows only: the parallel ports that Windows lists, with the I/O addresses it gave them.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "port/ResourceList.h"

namespace vx {

// A parallel port as Windows lists it.
struct ListedPort {
  int number = 0;         // n in LPTn
  std::int32_t base = 0;  // data, status and control from here; 0: its addresses are unknown
  std::int32_t ecp = 0;   // the ECP registers, the extended control register at + 2; 0: none
};

// n of a port name LPTn, in any letter case, n from 1 to 99.
std::optional<int> lptNumber(std::string_view name);

// Port n from its device's I/O ranges: the first holds data, status and control, a second one
// the ECP registers. A first range that cannot hold the three registers in 16-bit I/O space
// leaves the address unknown, as does a list that could not be read.
ListedPort listedPort(int number, const std::optional<std::vector<IoRange>>& ranges);

// The present devices of the Ports class whose PortName is LPTn, in the order of n, each with the
// I/O ranges from its translated resource list: the one the PnP manager publishes under
// HKLM\HARDWARE\RESOURCEMAP for the device's physical device object. That works for a 32-bit
// program on 64-bit Windows, where the configuration manager's resource functions do not. A
// device whose list is missing or malformed is listed with its address unknown. SetupAPI is
// loaded at run time: Windows 95 has none, and then no port is listed.
std::vector<ListedPort> listParallelPorts();

}  // namespace vx
