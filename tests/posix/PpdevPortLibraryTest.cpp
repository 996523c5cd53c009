// The Linux backend on a fake kernel: the ioctls that reach ppdev, the addresses it refuses, and
// what the user is told when the port cannot be used.
#include "posix/PpdevPortLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "FakePpdevSystem.h"
#include "app/CtlRun.h"
#include "app/Platform.h"
#include "support/Support.h"

namespace vx {
namespace {

using test::FakePpdevSystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Start-up and one refresh, then register accesses (control bits 0..3 to PPWCONTROL, bit 5 to
// PPDATADIR only when it changes, before the lines when turning to input and after them when
// turning back; data and status; refused addresses), as the kernel sees them; then the port's
// address from each form of base-addr, the ports counted, and a chosen device found through a
// link (the kernel's port is the device's minor number): against tests/data/ppdev-ioctls.expected.
TEST(Ppdev, IoctlsAddressesAndDevicesLineForLine) {
  const auto kernel = std::make_shared<FakePpdevSystem>();
  PpdevPortLibrary library{kernel};
  std::string transcript;
  // A step: the kernel's log since the last one, and then what the step said.
  const auto step = [&](const std::string& name, const std::string& said) {
    transcript += "== " + name + "\n";
    for (const auto& line : std::exchange(kernel->log, {})) transcript += line + "\n";
    transcript += said + "\n";
  };
  step("before the claim", test::accesses(library, "R378 W378=00"));
  Port port(library);
  test::FakeOs os;
  test::RecordingMessages messages;
  PortMenuFlags menu;
  Startup(port, os, messages, menu).Main();
  step("start-up",
       fmt::format("boxes {}, PortBase 0x{:X}, LPT1 {:d} LPT2 {:d} PRN {:d}", messages.shown.size(),
                   port.PortBase(), menu.lpt1, menu.lpt2, menu.prn));
  step("refresh", FrontPanel(port).cmdRead_Click().decimal);
  kernel->controlHighBits = 0xD0;  // bits the driver reports that are not ours
  kernel->dataLines = 0x81;
  step("registers", test::accesses(library,
                                   "W37A=FF R37A W37A=F0 R37A W37A=25 R37A W37A=C4 R37A "
                                   "W37A=1B R37A W378=1A5 W378=FFFF R378 R379 R000 R001 "
                                   "R002 R377 R37B R778 W000=55 W377=55 W37B=55 W379=55"));
  EXPECT_EQ(library.InByte(0x37A + 0x10000), 0xFF);
  EXPECT_EQ(kernel->openDescriptors(), 1u) << "the claim is held";
  std::vector<std::string> addresses;
  for (const std::string text : {"888\t1912\n", " 888\t1912\n", "53264\t53256\n", "0x3bc\n", "",
                                 "0\t0\n", "none\n", "4294967296\t0\n"}) {
    auto k = std::make_shared<FakePpdevSystem>();
    k->files["/proc/sys/dev/parport/parport0/base-addr"] = text;
    PpdevPortLibrary lib(k);
    PortInfoRecord info;
    const auto claim = lib.ClaimParallelPort(1, -1);
    const auto found = lib.GetParallelPortInfo(1, info);
    addresses.push_back(fmt::format("{:?}: claim {}, info {} 0x{:X} {:?}", text, claim, found,
                                    info.baseAddress, lib.failureReason()));
  }
  step("base-addr", fmt::format("{}", fmt::join(addresses, "\n")));
  kernel->directories["/proc/sys/dev/parport"] = {"default", "parport0", "parport1", "parportx",
                                                  "parport"};
  step("ports", fmt::format("{}, ports {}", library.devicePath(3), library.GetParallelPortCount()));
  kernel->devices["/dev/vx3340"] = {99, 2};
  kernel->files["/proc/sys/dev/parport/parport2/base-addr"] = "53264\t53256\n";
  std::string said;
  {
    PpdevPortLibrary chosen(kernel, "/dev/vx3340");
    PortInfoRecord info;
    said = chosen.devicePath(1) + ": claims";
    for (const int n : {1, 1, 2}) said += fmt::format(" {}", chosen.ClaimParallelPort(n, -1));
    const auto found = chosen.GetParallelPortInfo(1, info);
    said += fmt::format(", info {} 0x{:X}", found, info.baseAddress);
    said += fmt::format(", port 2 {}", chosen.GetParallelPortInfo(2, info));
  }
  step("a device through a link", said);
  kernel->ioctlErrors["PPWDATA"] = EIO;
  EXPECT_THROW(library.OutByte(0x378, 0x12), FatalError);
  EXPECT_THAT(test::lines(transcript), ElementsAreArray(test::expected("ppdev-ioctls.expected")));
}

// vx3340ctl on fake kernels that cannot give the port: both boxes with the reason and remedy,
// written once, exit 3, and what reached the device (no register ioctls) and was left open. The
// messages are checked word for word against tests/data/ppdev-failures.expected.
TEST(PpdevCtl, EachFailureSaysWhatToDo) {
  using Setup = std::function<void(FakePpdevSystem&)>;
  constexpr const char* kDevices = "/proc/sys/dev/parport/parport0/devices";
  // clang-format off
  const std::vector<std::tuple<const char*, Setup, std::vector<std::string>>> cases{
      {"no device", [](auto& k) { k.openErrors["/dev/parport0"] = ENOENT; }, {}},
      {"USB cable only", [](auto& k) { k.openErrors["/dev/parport0"] = ENOENT; k.directories["/dev/usb"] = {"lp1", "hiddev0", "lp0"}; }, {}},
      {"permission", [](auto& k) { k.openErrors["/dev/parport0"] = EACCES; }, {}},
      {"lp holds it", [](auto& k) { k.ioctlErrors["PPCLAIM"] = ENXIO; k.directories[kDevices] = {"active", "lp0"}; }, {}},
      {"another holder", [](auto& k) { k.ioctlErrors["PPEXCL"] = EBUSY; k.directories[kDevices] = {"active", "scanner"}; }, {}},
      {"no port behind the node", [](auto& k) { k.ioctlErrors["PPCLAIM"] = ENXIO; k.files.clear(); }, {}},
      {"other error", [](auto& k) { k.openErrors["/dev/parport0"] = EIO; }, {}},
      {"USB printer named", [](auto&) {}, {"--port", "/dev/usb/lp0"}},
      {"USB printer behind a link", [](auto& k) { k.devices["/dev/printer"] = {180, 0}; }, {"--port", "/dev/printer"}},
      {"not a parallel port", [](auto& k) { k.devices["/dev/ttyS0"] = {4, 64}; }, {"--port", "/dev/ttyS0"}},
  };
  // clang-format on
  std::string transcript;
  for (const auto& [name, setUp, args] : cases) {
    auto kernel = std::make_shared<FakePpdevSystem>();
    setUp(*kernel);
    test::CtlRun run;
    run.portOptions = addPlatformPortOptions;  // Linux's own --port
    run.openPort = [kernel](const BackendOptions& o) {
      return std::make_unique<PpdevPortLibrary>(kernel, o.port);
    };
    const int exit = run(args);
    transcript += fmt::format("== {}\n{}{}", name, run.out.str(), run.err.str());
    for (const auto& line : kernel->log) transcript += line + "\n";
    transcript += fmt::format("exit {}, left open {}\n", exit, kernel->openDescriptors());
  }
  EXPECT_THAT(test::lines(transcript), ElementsAreArray(test::expected("ppdev-failures.expected")));
}

TEST(PosixPpdevSystem, ReportsFilesDirectoriesDevicesAndErrors) {
  PosixPpdevSystem system;
  const std::string dir = ::testing::TempDir() + "ppdev_posix_test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/base-addr") << "888\t1912\n";
  EXPECT_EQ(system.readTextFile(dir + "/base-addr"), "888\t1912\n");
  EXPECT_THAT(system.listDirectory(dir), ElementsAre("base-addr"));
  EXPECT_EQ(system.open(dir + "/missing"), -ENOENT);
  ::close(STDIN_FILENO);  // the next descriptor is 0, a device like any other
  const int fd = system.open("/dev/null");
  EXPECT_EQ(system.deviceNumber(fd).value_or(DeviceNumber{}).minor, 3u);
  EXPECT_EQ(system.ioctl(fd, PPCLAIM, nullptr), -ENOTTY);
  system.close(fd);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vx
