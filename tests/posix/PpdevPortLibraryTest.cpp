// The Linux backend on a fake kernel: the ioctls that reach ppdev, the addresses it refuses, and
// what the user is told when the port cannot be used.
#include "posix/PpdevPortLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FakePpdevSystem.h"
#include "app/Ctl.h"
#include "board/FrontPanel.h"
#include "port/FatalError.h"
#include "startup/PosixOsServices.h"
#include "startup/Startup.h"
#include "support/Support.h"

namespace vx {
namespace {

using test::FakePpdevSystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using Log = std::vector<std::string>;

class Ppdev : public ::testing::Test {
 protected:
  std::shared_ptr<FakePpdevSystem> kernel = std::make_shared<FakePpdevSystem>();
  PpdevPortLibrary library{kernel};

  // Claims port 1 and reads its address, as start-up does; the log starts empty afterwards.
  void claim() {
    ASSERT_NE(library.ClaimParallelPort(1, -1), 0) << library.failureReason();
    PortInfoRecord info;
    ASSERT_NE(library.GetParallelPortInfo(1, info), 0) << library.failureReason();
    kernel->log.clear();
  }
};

TEST_F(Ppdev, StartupAndOneRefreshGiveTheExpectedIoctls) {
  Port port(library);
  test::FakeOs os;
  test::RecordingMessages messages;
  PortMenuFlags menu;
  Startup(port, os, messages, menu).Main();
  EXPECT_THAT(messages.shown, IsEmpty());
  EXPECT_EQ(port.PortBase(), 0x378);
  EXPECT_FALSE(menu.lpt2 || menu.prn);
  // The claim leaves control 0x0C; the clean-up writes 0x0C AND 0xD4. The direction stays out.
  EXPECT_THAT(kernel->log,
              ElementsAre("open /dev/parport0", "PPEXCL", "PPCLAIM", "PPRCONTROL -> 0x0C",
                          "PPWCONTROL 0x04", "PPWDATA 0xC0", "PPWCONTROL 0x04"));
  kernel->log.clear();
  EXPECT_EQ(FrontPanel(port).cmdRead_Click().flagByte, 0x2A);
  Log refresh{"PPRCONTROL -> 0x04", "PPWCONTROL 0x0F", "PPWDATA 0x00", "PPWCONTROL 0x0E",
              "PPWCONTROL 0x0F"};
  for (auto [a0, a1] : {std::pair{0, 2}, {2, 6}, {4, 6}, {4, 6}})
    refresh.insert(refresh.end(),
                   {"PPRCONTROL -> 0x0F", "PPWCONTROL 0x0F", fmt::format("PPWDATA 0x{:02X}", a0),
                    "PPWCONTROL 0x0D", fmt::format("PPWDATA 0x{:02X}", a1), "PPWCONTROL 0x0F"});
  // Turning to input: direction first, then the lines; back to output: lines first.
  refresh.insert(refresh.end(), {"PPRCONTROL -> 0x0F", "PPDATADIR 1", "PPWCONTROL 0x0F",
                                 "PPWCONTROL 0x07", "PPWCONTROL 0x0F", "PPWCONTROL 0x0B",
                                 "PPRDATA -> 0x2A", "PPWCONTROL 0x0F", "PPDATADIR 0"});
  EXPECT_THAT(kernel->log, ElementsAreArray(refresh));
  EXPECT_EQ(kernel->openDescriptors(), 1u) << "the claim is held";
}

TEST_F(Ppdev, RegistersAndRefusedAddresses) {
  // Nothing reaches the device before the claim, nor before the address is known.
  EXPECT_EQ(library.InByte(0x378), 0xFF);
  library.OutByte(0x378, 0);
  ASSERT_NE(library.ClaimParallelPort(1, -1), 0);
  library.OutByte(0x37A, 0x04);
  EXPECT_THAT(kernel->log, ElementsAre("open /dev/parport0", "PPEXCL", "PPCLAIM"));
  claim();
  kernel->controlHighBits = 0xD0;  // bits the driver reports that are not ours
  kernel->dataLines = 0x81;
  // Control writes: bits 0..3 to PPWCONTROL, bit 5 to PPDATADIR only when it changes.
  const std::pair<std::int32_t, Log> writes[] = {
      {0xFF, {"PPDATADIR 1", "PPWCONTROL 0x0F"}},
      {0xF0, {"PPWCONTROL 0x00"}},
      {0x25, {"PPWCONTROL 0x05"}},
      {0xC4, {"PPWCONTROL 0x04", "PPDATADIR 0"}},
      {0x1B, {"PPWCONTROL 0x0B"}},
  };
  for (const auto& [value, ioctls] : writes) {
    library.OutByte(0x37A, value);
    EXPECT_THAT(kernel->log, ElementsAreArray(ioctls)) << value;
    EXPECT_EQ(library.InByte(0x37A), value & 0x2F) << value;
    kernel->log.clear();
  }
  library.OutByte(0x378, 0x1A5);
  library.OutByte(0x378, -1);
  EXPECT_EQ(library.InByte(0x378), 0x81);
  EXPECT_EQ(library.InByte(0x379), 0x78);
  for (const std::int32_t address : {0, 1, 2, 0x377, 0x37B, 0x778, 0x37A + 0x10000, 0x379}) {
    if (address != 0x379) {
      EXPECT_EQ(library.InByte(address), 0xFF) << address;
    }
    library.OutByte(address, 0x55);  // the status register is read-only
  }
  EXPECT_THAT(kernel->log,
              ElementsAre("PPWDATA 0xA5", "PPWDATA 0xFF", "PPRDATA -> 0x81", "PPRSTATUS -> 0x78"));
  kernel->ioctlErrors["PPWDATA"] = EIO;
  EXPECT_THROW(library.OutByte(0x378, 0x12), FatalError);
}

TEST_F(Ppdev, AddressesPortsAndDevices) {
  const std::pair<std::string, std::int32_t> bases[] = {
      {"888\t1912\n", 0x378}, {"53264\t53256\n", 0xD010},
      {"0x3bc\n", 0x3BC},     {"", 0},
      {"0\t0\n", 0},          {"none\n", 0},
      {"4294967296\t0\n", 0}};
  for (const auto& [text, expected] : bases) {
    auto k = std::make_shared<FakePpdevSystem>();
    k->files["/proc/sys/dev/parport/parport0/base-addr"] = text;
    PpdevPortLibrary lib(k);
    ASSERT_NE(lib.ClaimParallelPort(1, -1), 0);
    PortInfoRecord info;
    EXPECT_EQ(lib.GetParallelPortInfo(1, info), expected ? 1 : 0) << text;
    EXPECT_EQ(info.baseAddress, expected) << text;
    if (!expected) {
      EXPECT_THAT(lib.failureReason(), HasSubstr("base-addr")) << text;
    }
  }
  EXPECT_EQ(library.devicePath(3), "/dev/parport2");
  kernel->directories["/proc/sys/dev/parport"] = {"default", "parport0", "parport1", "parportx",
                                                  "parport"};
  EXPECT_EQ(library.GetParallelPortCount(), 2);
  // A chosen device, found through a link: the kernel's port is the device's minor number.
  kernel->devices["/dev/vx3340"] = {99, 2};
  kernel->files["/proc/sys/dev/parport/parport2/base-addr"] = "53264\t53256\n";
  {
    PpdevPortLibrary chosen(kernel, "/dev/vx3340");
    EXPECT_EQ(chosen.devicePath(1), "/dev/vx3340");
    ASSERT_NE(chosen.ClaimParallelPort(1, -1), 0);
    EXPECT_NE(chosen.ClaimParallelPort(1, -1), 0);
    EXPECT_EQ(chosen.ClaimParallelPort(2, -1), 0);
    PortInfoRecord info;
    ASSERT_NE(chosen.GetParallelPortInfo(1, info), 0);
    EXPECT_EQ(info.baseAddress, 0xD010);
    EXPECT_EQ(chosen.GetParallelPortInfo(2, info), 0) << "only the claimed port has an address";
  }
  EXPECT_THAT(kernel->log,
              ElementsAre("open /dev/vx3340", "PPEXCL", "PPCLAIM", "close /dev/vx3340"));
}

// vx3340ctl on a fake kernel that cannot give the port: both boxes, the reason once, exit 3, and
// nothing reaching or left open on the device.
TEST(PpdevCtl, EachFailureSaysWhatToDo) {
  struct Case {
    const char* name;
    std::function<void(FakePpdevSystem&)> setUp;
    std::vector<std::string> args;
    std::vector<std::string> reason;
  };
  const Case cases[] = {
      {"no device",
       [](auto& k) { k.openErrors["/dev/parport0"] = ENOENT; },
       {},
       {"/dev/parport0 does not exist", "sudo modprobe parport_pc ppdev"}},
      {"USB cable only",
       [](auto& k) {
         k.openErrors["/dev/parport0"] = ENOENT;
         k.directories["/dev/usb"] = {"lp1", "hiddev0", "lp0"};
       },
       {},
       {"sudo modprobe parport_pc ppdev", "USB printer cable (/dev/usb/lp0, /dev/usb/lp1)"}},
      {"permission",
       [](auto& k) { k.openErrors["/dev/parport0"] = EACCES; },
       {},
       {"Permission denied", "sudo usermod -aG lp $USER"}},
      {"lp holds it",
       [](auto& k) {
         k.ioctlErrors["PPCLAIM"] = ENXIO;
         k.directories["/proc/sys/dev/parport/parport0/devices"] = {"active", "lp0"};
       },
       {},
       {"lp printer driver holds parport0 (lp0)", "sudo modprobe -r lp", "blacklist lp"}},
      {"another holder",
       [](auto& k) {
         k.ioctlErrors["PPEXCL"] = EBUSY;
         k.directories["/proc/sys/dev/parport/parport0/devices"] = {"active", "scanner"};
       },
       {},
       {"parport0 is held by scanner"}},
      {"no port behind the node",
       [](auto& k) {
         k.ioctlErrors["PPCLAIM"] = ENXIO;
         k.files.clear();
       },
       {},
       {"no parallel port behind it", "sudo modprobe parport_pc ppdev"}},
      {"other error",
       [](auto& k) { k.openErrors["/dev/parport0"] = EIO; },
       {},
       {"Cannot claim /dev/parport0: Input/output error."}},
      {"USB printer named", [](auto&) {}, {"--port", "/dev/usb/lp0"}, {"USB printer"}},
      {"USB printer behind a link",
       [](auto& k) {
         k.devices["/dev/printer"] = {180, 0};
       },
       {"--port", "/dev/printer"},
       {"/dev/printer is a USB printer device"}},
      {"not a parallel port",
       [](auto& k) {
         k.devices["/dev/ttyS0"] = {4, 64};
       },
       {"--port", "/dev/ttyS0"},
       {"not a parallel port of the kernel's ppdev driver"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto kernel = std::make_shared<FakePpdevSystem>();
    c.setUp(*kernel);
    std::ostringstream out, err;
    std::istringstream in;
    CtlEnvironment env{
        out,
        err,
        in,
        [](const std::vector<std::string>& a) { return std::make_unique<PosixOsServices>(a); },
        [kernel](const BackendOptions& o) {
          return std::make_unique<PpdevPortLibrary>(kernel, o.portDevice);
        },
        [](std::chrono::milliseconds) {},
        [] { return std::chrono::system_clock::time_point{}; }};
    EXPECT_EQ(runCtl(c.args, env), kExitNoPort);
    const std::string text = err.str();
    EXPECT_THAT(text, testing::StartsWith("VX3340: claim parallel port failed\n        "));
    for (const auto& part : c.reason) EXPECT_THAT(text, HasSubstr(part));
    EXPECT_THAT(text, HasSubstr("Printer Port\nvx3340ctl: no parallel-port address"));
    for (const auto& entry : kernel->log)
      EXPECT_THAT(entry, testing::Not(testing::ContainsRegex("PP[RW]")));
    EXPECT_EQ(kernel->openDescriptors(), 0u);
  }
}

TEST(PosixPpdevSystem, ReportsFilesDirectoriesDevicesAndErrors) {
  PosixPpdevSystem system;
  const std::string dir = ::testing::TempDir() + "ppdev_posix_test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/base-addr") << "888\t1912\n";
  EXPECT_EQ(system.readTextFile(dir + "/base-addr"), "888\t1912\n");
  EXPECT_EQ(system.readTextFile(dir + "/missing"), std::nullopt);
  EXPECT_THAT(system.listDirectory(dir), ElementsAre("base-addr"));
  EXPECT_THAT(system.listDirectory(dir + "/missing"), IsEmpty());
  EXPECT_EQ(system.open(dir + "/missing"), -ENOENT);
  const int fd = system.open("/dev/null");
  ASSERT_GE(fd, 0);
  const auto number = system.deviceNumber(fd);
  ASSERT_TRUE(number.has_value());
  EXPECT_EQ(number->major, 1u);
  EXPECT_EQ(number->minor, 3u);
  EXPECT_EQ(system.ioctl(fd, PPCLAIM, nullptr), -ENOTTY);
  system.close(fd);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vx
