// Writes a PC's parallel and serial ports into the prefix's registry where Windows keeps them,
// so that the program's own SetupAPI and registry calls find them:
//   seed-ports 16|20   (the size of a resource list's descriptors: 16 on 32-bit Windows, 20 on
//                       64-bit Windows, for 32-bit programs there too)
// Each device: a key of the Ports class under Enum\VXTEST, its PortName in "Device Parameters",
// its physical device object's name as a device property (wine keeps those in the device's
// Properties key, where Windows' PnP manager has a store of its own), and its translated resource
// list under HARDWARE\RESOURCEMAP, which wine, like Windows, keeps volatile: it lasts as long as
// the wineserver. Remove the devices with: reg delete HKLM\SYSTEM\CurrentControlSet\Enum\VXTEST
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One partial descriptor. A port (type 1) or memory range (3) is start and length; an interrupt
// (2) puts level and vector in start. Device-specific data (5) has its size in start, and that
// many bytes follow the descriptor.
struct Descriptor {
  std::uint8_t type;
  std::uint64_t start;
  std::uint32_t length;
};

// A resource list as Windows writes it, one full descriptor on PCI bus 0, each descriptor
// descriptorSize bytes long (16 or 20).
std::vector<std::uint8_t> resourceList(const std::vector<Descriptor>& descriptors,
                                       std::size_t descriptorSize) {
  std::vector<std::uint8_t> bytes;
  const auto put = [&bytes](std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
      bytes.push_back(static_cast<std::uint8_t>(value >> 8 * i));
  };
  put(1, 4);             // full descriptors
  put(5, 4), put(0, 4);  // PCI, bus 0
  put(1, 2), put(1, 2);  // version, revision
  put(descriptors.size(), 4);
  for (const Descriptor& d : descriptors) {
    put(d.type, 1), put(1, 1), put(d.type == 1 ? 0x05 : 0, 2);  // exclusive; I/O, 16-bit decode
    put(d.start, 8), put(d.length, 4), put(0, descriptorSize - 16);
    if (d.type == 5) put(0xA5A5A5A5A5A5A5A5, d.start);
  }
  return bytes;
}

struct Device {
  const char *instance, *portName, *pdo;
  std::vector<Descriptor> resources;
  std::size_t cut = 0;  // bytes cut off the list's end
};

// LPT1 on a PCIe card: base, interrupt, ECP registers. LPT2 on the main board, without ECP,
// with device-specific data. COM1. LPT3, whose list is cut short.
const Device kDevices[] = {
    {"PCI_9865\\0", "LPT1", "\\Device\\PCI17", {{1, 0xD010, 8}, {2, 17, 1}, {1, 0xD000, 8}}},
    {"PNP0400\\0", "LPT2", "\\Device\\00000066", {{1, 0x378, 8}, {5, 12, 0}}},
    {"PNP0501\\0", "COM1", "\\Device\\00000067", {{1, 0x3F8, 8}, {2, 4, 1}}},
    {"PNP0401\\1", "LPT3", "\\Device\\00000068", {{1, 0x278, 8}, {1, 0x678, 8}}, 6},
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
  const std::size_t descriptorSize = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
  if (descriptorSize != 16 && descriptorSize != 20) return 2;
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
    auto list = resourceList(d.resources, descriptorSize);
    list.resize(list.size() - d.cut);
    set(map, (std::string(d.pdo) + ".Translated").c_str(), REG_RESOURCE_LIST, list.data(),
        list.size());
  }
  return 0;
}
