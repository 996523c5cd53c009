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

// Writes a value into a key under HKLM, which it makes if missing (a lasting key); any failure
// ends the seeding with exit 1.
void set(const std::string& key, const char* name, DWORD type, const void* data, std::size_t size) {
  if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, type, data,
                      static_cast<DWORD>(size)) != ERROR_SUCCESS)
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bits = argc > 1 ? argv[1] : "";
  if (bits != "32" && bits != "64") return 2;
  const std::string map = "HARDWARE\\RESOURCEMAP\\PnP Manager\\PnpManager";
  HKEY volatileKey = nullptr;  // made first, as set would make a lasting one
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, map.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr) != ERROR_SUCCESS)
    return 1;
  for (const Device& d : kDevices) {
    const std::string key = std::string("SYSTEM\\CurrentControlSet\\Enum\\VXTEST\\") + d.instance;
    set(key, "ClassGUID", REG_SZ, "{4D36E978-E325-11CE-BFC1-08002BE10318}", 39);
    set(key, "Class", REG_SZ, "Ports", 6);
    set(key + "\\Device Parameters", "PortName", REG_SZ, d.portName, std::strlen(d.portName) + 1);
    // DEVPKEY_Device_PDOName, a string (DEVPROP_TYPE_STRING, marked as a property type).
    const std::wstring pdo(d.pdo, d.pdo + std::strlen(d.pdo));
    set(key + "\\Properties\\{A45C254E-DF1C-4EFD-8020-67D146A850E0}\\0010", "", 0xFFFF0012,
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
