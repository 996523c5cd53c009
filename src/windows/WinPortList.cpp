#include "windows/WinPortList.h"

#include <windows.h>

#include <devpropdef.h>
#include <setupapi.h>

#include <algorithm>
#include <charconv>

#include "windows/DllBinding.h"
#include "windows/WinOsServices.h"

namespace vx {

namespace {

constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// The name of a device's physical device object, as a property (Windows Vista and later).
constexpr DEVPROPKEY kPdoName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 16};
constexpr const char* kPnpResources = "HARDWARE\\RESOURCEMAP\\PnP Manager\\PnpManager";
constexpr DWORD kLargestValue = 65536;

using GetDevicePropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*,
                                          DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD);

// The SetupAPI functions used here, looked up in setupapi.dll when it is there.
struct SetupApi {
  SetupApi() {
    dll.find("SetupDiGetClassDevsA", classDevices);
    dll.find("SetupDiEnumDeviceInfo", enumerate);
    dll.find("SetupDiOpenDevRegKey", openDeviceKey);
    dll.find("SetupDiGetDeviceRegistryPropertyA", registryProperty);
    dll.find("SetupDiGetDevicePropertyW", deviceProperty);
    dll.find("SetupDiDestroyDeviceInfoList", destroy);
  }
  bool usable() const {
    return classDevices && enumerate && openDeviceKey && registryProperty && destroy;
  }

  DllBinding dll{"setupapi.dll", {}};
  decltype(&SetupDiGetClassDevsA) classDevices = nullptr;
  decltype(&SetupDiEnumDeviceInfo) enumerate = nullptr;
  decltype(&SetupDiOpenDevRegKey) openDeviceKey = nullptr;
  decltype(&SetupDiGetDeviceRegistryPropertyA) registryProperty = nullptr;
  GetDevicePropertyFn deviceProperty = nullptr;  // none before Windows Vista
  decltype(&SetupDiDestroyDeviceInfoList) destroy = nullptr;
};

// A registry value of the type wanted, up to kLargestValue bytes.
std::optional<std::vector<std::uint8_t>> readValue(HKEY key, const char* name, DWORD wanted) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != wanted || size > kLargestValue)
    return std::nullopt;
  std::vector<std::uint8_t> bytes(size);
  if (RegQueryValueExA(key, name, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  bytes.resize(std::min<std::size_t>(size, bytes.size()));
  return bytes;
}

// The PortName in the device's hardware key ("Device Parameters"): LPT1, COM3 and so on.
std::string portName(const SetupApi& api, HDEVINFO set, SP_DEVINFO_DATA& device) {
  const HKEY key = api.openDeviceKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  const auto value = readValue(key, "PortName", REG_SZ);
  RegCloseKey(key);
  return value ? std::string(value->begin(), std::find(value->begin(), value->end(), 0)) : "";
}

// "\Device\00000066": the registry property where Windows has it, else the Vista property.
std::string pdoName(const SetupApi& api, HDEVINFO set, SP_DEVINFO_DATA& device) {
  char name[256] = {};
  if (api.registryProperty(set, &device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, nullptr,
                           reinterpret_cast<BYTE*>(name), sizeof name - 1, nullptr))
    return name;
  wchar_t wide[256] = {};
  DEVPROPTYPE type = 0;
  if (!api.deviceProperty ||
      !api.deviceProperty(set, &device, &kPdoName, &type, reinterpret_cast<BYTE*>(wide),
                          sizeof wide - sizeof(wchar_t), nullptr, 0) ||
      type != DEVPROP_TYPE_STRING)
    return {};
  std::string narrow;  // object names are plain ASCII
  for (const wchar_t* c = wide; *c; ++c) narrow += *c < 0x80 ? static_cast<char>(*c) : '?';
  return narrow;
}

// The translated resource list that the PnP manager publishes for a physical device object.
std::optional<std::vector<std::uint8_t>> publishedResources(const std::string& pdo) {
  HKEY key = nullptr;
  if (pdo.empty() ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPnpResources, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  auto list = readValue(key, (pdo + ".Translated").c_str(), REG_RESOURCE_LIST);
  RegCloseKey(key);
  return list;
}

}  // namespace

std::optional<int> lptNumber(std::string_view name) {
  const auto is = [&name](std::size_t i, char upper) { return (name[i] & ~0x20) == upper; };
  if (name.size() < 4 || name.size() > 5 || !is(0, 'L') || !is(1, 'P') || !is(2, 'T') ||
      name[3] < '1' || name[3] > '9')
    return std::nullopt;
  int number = 0;
  const auto [end, error] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return number;
}

ListedPort listedPort(int number, const std::optional<std::vector<IoRange>>& ranges) {
  const auto holdsRegisters = [](const IoRange& range) {
    return range.length >= 3 && range.start > 0 && range.start <= 0xFFFD;
  };
  ListedPort port{number};
  if (!ranges || ranges->empty() || !holdsRegisters(ranges->front())) return port;
  port.base = static_cast<std::int32_t>(ranges->front().start);
  if (ranges->size() > 1 && holdsRegisters((*ranges)[1]))
    port.ecp = static_cast<std::int32_t>((*ranges)[1].start);
  return port;
}

std::vector<ListedPort> listParallelPorts() {
  const SetupApi api;
  if (!api.usable()) return {};
  const HDEVINFO set = api.classDevices(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return {};
  const ResourceLayout layout = sizeof(void*) == 8 || runsUnderWow64() ? ResourceLayout::Windows64
                                                                       : ResourceLayout::Windows32;
  std::vector<ListedPort> ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; api.enumerate(set, i, &device); ++i) {
    const auto number = lptNumber(portName(api, set, device));
    if (!number) continue;
    const auto list = publishedResources(pdoName(api, set, device));
    ports.push_back(listedPort(*number, list ? ioPortRanges(*list, layout) : std::nullopt));
  }
  api.destroy(set);
  std::stable_sort(ports.begin(), ports.end(),
                   [](const ListedPort& a, const ListedPort& b) { return a.number < b.number; });
  return ports;
}

}  // namespace vx
