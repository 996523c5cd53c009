#pragma once

#include <sys/ioctl.h>

#include <linux/ppdev.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstdint>
#include <map>

#include "posix/PpdevSystem.h"

namespace vx::test {

// A kernel with one parallel port behind ppdev, as parport_pc drives it: PPRCONTROL gives the
// driver's copy of control bits 0..3. Every open, close and ioctl is logged in call order.
class FakePpdevSystem : public PpdevSystem {
 public:
  std::vector<std::string> log;
  std::map<std::string, int> openErrors;                                    // path -> errno
  std::map<std::string, DeviceNumber> devices{{"/dev/parport0", {99, 0}}};  // path -> its number
  std::map<std::string, std::string> files{
      // path -> contents
      {"/proc/sys/dev/parport/parport0/base-addr", "888\t1912\n"}};
  std::map<std::string, std::vector<std::string>> directories{
      {"/proc/sys/dev/parport", {"default", "parport0"}}};
  std::map<std::string, int> ioctlErrors;  // ioctl name -> errno
  std::uint8_t control = 0x0C;             // what the driver's claim leaves
  std::uint8_t controlHighBits = 0x00;     // extra bits a driver might report
  std::uint8_t dataLines = 0x2A;           // what the board drives
  std::uint8_t status = 0x78;

  int open(const std::string& path) override {
    log.push_back("open " + path);
    if (auto e = openErrors.find(path); e != openErrors.end()) return -e->second;
    const int fd = nextFd_++;
    open_[fd] = path;
    return fd;
  }

  void close(int fd) override {
    log.push_back("close " + open_.at(fd));
    open_.erase(fd);
  }

  int ioctl(int fd, unsigned long request, void* argument) override {
    if (!open_.count(fd)) return -EBADF;
    const auto known = kNames.find(request);
    if (known == kNames.end()) return -ENOTTY;
    const std::string& name = known->second;
    auto* byte = static_cast<unsigned char*>(argument);
    if (ioctlErrors.count(name)) {
      log.push_back(name + " failed");
      return -ioctlErrors[name];
    }
    if (request == PPWCONTROL) control = *byte & 0x0F;
    const std::map<unsigned long, std::uint8_t> reads{
        {PPRCONTROL, control | controlHighBits}, {PPRDATA, dataLines}, {PPRSTATUS, status}};
    if (const auto read = reads.find(request); read != reads.end())
      log.push_back(fmt::format("{} -> 0x{:02X}", name, *byte = read->second));
    else if (request == PPWDATA || request == PPWCONTROL)
      log.push_back(fmt::format("{} 0x{:02X}", name, *byte));
    else if (request == PPDATADIR)
      log.push_back(fmt::format("PPDATADIR {}", *static_cast<int*>(argument)));
    else
      log.push_back(name);
    return 0;
  }

  std::optional<DeviceNumber> deviceNumber(int fd) override { return find(devices, open_.at(fd)); }
  std::optional<std::string> readTextFile(const std::string& path) override {
    return find(files, path);
  }
  std::vector<std::string> listDirectory(const std::string& path) override {
    return find(directories, path).value_or(std::vector<std::string>{});
  }

  std::size_t openDescriptors() const { return open_.size(); }

 private:
  template <class Map>
  static std::optional<typename Map::mapped_type> find(const Map& map, const std::string& key) {
    const auto found = map.find(key);
    return found == map.end() ? std::nullopt : std::optional(found->second);
  }
  inline static const std::map<unsigned long, std::string> kNames{
      {PPEXCL, "PPEXCL"},       {PPCLAIM, "PPCLAIM"},       {PPWDATA, "PPWDATA"},
      {PPRDATA, "PPRDATA"},     {PPWCONTROL, "PPWCONTROL"}, {PPRCONTROL, "PPRCONTROL"},
      {PPDATADIR, "PPDATADIR"}, {PPRSTATUS, "PPRSTATUS"}};
  std::map<int, std::string> open_;
  int nextFd_ = 3;
};

}  // namespace vx::test
