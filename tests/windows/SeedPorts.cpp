// Writes a PC's parallel and serial ports into the prefix's registry where Windows keeps them,
// so that the program's own SetupAPI and registry calls find them:
//   seed-ports 32|64   (the Windows whose resource-list layout to write: 64 for 32-bit programs
//                       on 64-bit Windows too)
// Each device: a key of the Ports class under Enum\VXTEST, its PortName in "Device Parameters",
// its physical device object's name as a device property (wine keeps those in the device's
// Properties key, where Windows' PnP manager has a store of its own), and its translated resource
// list (a seed of the resources fuzz target) under HARDWARE\RESOURCEMAP, which wine, like Windows,
// keeps volatile: it lasts as long as the wineserver. Remove the devices with: reg delete
// HKLM\SYSTEM\CurrentControlSet\Enum\VXTEST
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// list: the resource list's seed (tests/data/fuzz/resources, a layout byte in front).
struct Device {
  const char *instance, *portName, *pdo, *list;
};

// LPT1 on a PCIe card: base, interrupt, ECP registers. LPT2 on the main board, without ECP,
// with device-specific data. COM1. LPT3, whose list is cut short.
const Device kDevices[] = {
    {"PCI_9865\\0", "LPT1", "\\Device\\PCI17", "pcie-ecp"},
    {"PNP0400\\0", "LPT2", "\\Device\\00000066", "lpt-data"},
    {"PNP0501\\0", "COM1", "\\Device\\00000067", "com"},
    {"PNP0401\\1", "LPT3", "\\Device\\00000068", "cut-short"},
};

HKEY create(const std::string& path, DWORD options = 0) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    std::exit(1);
  return key;
}

void set(HKEY key, const char* name, DWORD type, const void* data, std::size_t size) {
  if (RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                     static_cast<DWORD>(size)) != ERROR_SUCCESS)
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bits = argc > 1 ? argv[1] : "";
  if (bits != "32" && bits != "64") return 2;
  const HKEY map = create("HARDWARE\\RESOURCEMAP\\PnP Manager\\PnpManager", REG_OPTION_VOLATILE);
  for (const Device& d : kDevices) {
    const std::string key = std::string("SYSTEM\\CurrentControlSet\\Enum\\VXTEST\\") + d.instance;
    const HKEY device = create(key);
    set(device, "ClassGUID", REG_SZ, "{4D36E978-E325-11CE-BFC1-08002BE10318}", 39);
    set(device, "Class", REG_SZ, "Ports", 6);
    set(create(key + "\\Device Parameters"), "PortName", REG_SZ, d.portName,
        std::strlen(d.portName) + 1);
    // DEVPKEY_Device_PDOName, a string (DEVPROP_TYPE_STRING, marked as a property type).
    const std::wstring pdo(d.pdo, d.pdo + std::strlen(d.pdo));
    set(create(key + "\\Properties\\{A45C254E-DF1C-4EFD-8020-67D146A850E0}\\0010"), "", 0xFFFF0012,
        pdo.c_str(), (pdo.size() + 1) * sizeof(wchar_t));
    std::ifstream in(std::string(VX_TEST_DATA) + "/fuzz/resources/" + d.list + "-" + bits,
                     std::ios::binary);
    const std::vector<char> list(std::istreambuf_iterator<char>(in), {});
    if (list.size() < 2) return 1;
    set(map, (std::string(d.pdo) + ".Translated").c_str(), REG_RESOURCE_LIST, list.data() + 1,
        list.size() - 1);
  }
  return 0;
}
