#include "port/PpdevPortLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakePpdevSystem.h"
#include "app/Ctl.h"
#include "board/FrontPanel.h"
#include "port/FatalError.h"
#include "port/Port.h"
#include "startup/PortMenu.h"
#include "startup/PosixOsServices.h"
#include "startup/Startup.h"

namespace vx {
namespace {

using test::FakePpdevSystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct RecordingMessages : Messages {
  std::vector<Message> shown;
  void show(const Message& m) override { shown.push_back(m); }
};

using Log = std::vector<std::string>;

Log operator+(Log a, const Log& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The ioctls of one auxiliary pulse: data a0 with the line low, then a1 with it high.
Log pulse(int a0, int a1) {
  return {"PPRCONTROL -> 0x0F",
          "PPWCONTROL 0x0F",
          fmt::format("PPWDATA 0x{:02X}", a0),
          "PPWCONTROL 0x0D",
          fmt::format("PPWDATA 0x{:02X}", a1),
          "PPWCONTROL 0x0F"};
}

class PpdevTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakePpdevSystem> kernel = std::make_shared<FakePpdevSystem>();

  // Claims port 1 and reads its address, as start-up does; the log starts empty afterwards.
  void claimAndLocate(PpdevPortLibrary& library) {
    ASSERT_NE(library.ClaimParallelPort(1, -1), 0) << library.failureReason();
    PortInfoRecord info;
    ASSERT_NE(library.GetParallelPortInfo(1, info), 0) << library.failureReason();
    kernel->log.clear();
  }
};

TEST_F(PpdevTest, StartupAndOneRefreshGiveTheExpectedIoctls) {
  PpdevPortLibrary library(kernel);
  Port port(library);
  PosixOsServices os({});
  RecordingMessages messages;
  PortMenuFlags menu;

  Startup(port, os, messages, menu).Main();

  EXPECT_THAT(messages.shown, IsEmpty());
  EXPECT_EQ(port.PortBase(), 0x378);
  EXPECT_TRUE(menu.lpt1);
  EXPECT_FALSE(menu.lpt2);
  EXPECT_FALSE(menu.prn);
  // The claimed port's control register reads 0x0C; the clean-up writes 0x0C AND 0xD4 back.
  // Direction stays outward, so no PPDATADIR.
  EXPECT_THAT(kernel->log,
              ElementsAre("open /dev/parport0", "PPEXCL", "PPCLAIM", "PPRCONTROL -> 0x0C",
                          "PPWCONTROL 0x04", "PPWDATA 0xC0", "PPWCONTROL 0x04"));

  kernel->log.clear();
  kernel->dataLines = 0x2A;
  FrontPanel panel(port);
  const FlagReading reading = panel.cmdRead_Click();

  const Log send{"PPRCONTROL -> 0x04", "PPWCONTROL 0x0F", "PPWDATA 0x00", "PPWCONTROL 0x0E",
                 "PPWCONTROL 0x0F"};
  // The input turn: direction first, then the lines; the output turn: lines first.
  const Log read{"PPRCONTROL -> 0x0F", "PPDATADIR 1",     "PPWCONTROL 0x0F",
                 "PPWCONTROL 0x07",    "PPWCONTROL 0x0F", "PPWCONTROL 0x0B",
                 "PPRDATA -> 0x2A",    "PPWCONTROL 0x0F", "PPDATADIR 0"};
  EXPECT_THAT(kernel->log, ElementsAreArray(send + pulse(0x00, 0x02) + pulse(0x02, 0x06) +
                                            pulse(0x04, 0x06) + pulse(0x04, 0x06) + read));
  EXPECT_EQ(reading.flagByte, 0x2A);
  EXPECT_EQ(kernel->openDescriptors(), 1u) << "the claim is held";
}

TEST_F(PpdevTest, ControlWritesSplitBetweenLinesAndDirection) {
  PpdevPortLibrary library(kernel);
  claimAndLocate(library);
  const std::int32_t control = 0x37A;

  // Everything set: direction to input first; bits 4, 6 and 7 never reach the driver.
  library.OutByte(control, 0xFF);
  EXPECT_THAT(kernel->log, ElementsAre("PPDATADIR 1", "PPWCONTROL 0x0F"));
  // Still input: no direction change, no PPDATADIR.
  kernel->log.clear();
  library.OutByte(control, 0xF0);
  library.OutByte(control, 0x25);
  EXPECT_THAT(kernel->log, ElementsAre("PPWCONTROL 0x00", "PPWCONTROL 0x05"));
  // Back to output: the lines first, then the direction.
  kernel->log.clear();
  library.OutByte(control, 0xC4);
  library.OutByte(control, 0x1B);
  EXPECT_THAT(kernel->log, ElementsAre("PPWCONTROL 0x04", "PPDATADIR 0", "PPWCONTROL 0x0B"));
}

TEST_F(PpdevTest, ControlReadsCombineTheDriversBitsWithTheDirection) {
  PpdevPortLibrary library(kernel);
  claimAndLocate(library);
  kernel->controlHighBits = 0xD0;  // bits the driver does not own for us are dropped

  library.OutByte(0x37A, 0x2B);
  EXPECT_EQ(library.InByte(0x37A), 0x2B);
  library.OutByte(0x37A, 0x06);
  EXPECT_EQ(library.InByte(0x37A), 0x06);
}

TEST_F(PpdevTest, DataAndStatusRegisters) {
  PpdevPortLibrary library(kernel);
  claimAndLocate(library);
  kernel->dataLines = 0x81;

  library.OutByte(0x378, 0x1A5);  // the value's low 8 bits
  library.OutByte(0x378, -1);     // a 16-bit value widened with its sign
  EXPECT_EQ(library.InByte(0x378), 0x81);
  EXPECT_EQ(library.InByte(0x379), 0x78);
  EXPECT_THAT(kernel->log,
              ElementsAre("PPWDATA 0xA5", "PPWDATA 0xFF", "PPRDATA -> 0x81", "PPRSTATUS -> 0x78"));
}

TEST_F(PpdevTest, OtherAddressesNeverReachTheDevice) {
  PpdevPortLibrary library(kernel);
  // Before the claim, and after the claim but before the address is known.
  EXPECT_EQ(library.InByte(0x378), 0xFF);
  library.OutByte(0x378, 0);
  ASSERT_NE(library.ClaimParallelPort(1, -1), 0);
  EXPECT_EQ(library.InByte(0x37A), 0xFF);
  library.OutByte(0x37A, 0x04);
  PortInfoRecord info;
  ASSERT_NE(library.GetParallelPortInfo(1, info), 0);
  kernel->log.clear();

  for (const std::int32_t address : {0, 1, 2, 0x377, 0x37B, 0x778, 0x37A + 0x10000}) {
    EXPECT_EQ(library.InByte(address), 0xFF) << address;
    library.OutByte(address, 0x55);
  }
  library.OutByte(0x379, 0x55);  // the status register is read-only
  EXPECT_THAT(kernel->log, IsEmpty());
}

TEST_F(PpdevTest, ReportsTheKernelsBaseAddress) {
  const std::vector<std::pair<std::string, std::int32_t>> cases{
      {"888\t1912\n", 0x378},
      {"53264\t53256\n", 0xD010},  // a PCIe card
      {"0x3bc\n", 0x3BC},
  };
  for (const auto& [text, expected] : cases) {
    auto kernel = std::make_shared<FakePpdevSystem>();
    kernel->files["/proc/sys/dev/parport/parport0/base-addr"] = text;
    PpdevPortLibrary library(kernel);
    ASSERT_NE(library.ClaimParallelPort(1, -1), 0);
    PortInfoRecord info;
    EXPECT_NE(library.GetParallelPortInfo(1, info), 0) << text;
    EXPECT_EQ(info.baseAddress, expected) << text;
  }
  for (const std::string text : {"", "0\t0\n", "none\n", "4294967296\t0\n"}) {
    auto kernel = std::make_shared<FakePpdevSystem>();
    kernel->files["/proc/sys/dev/parport/parport0/base-addr"] = text;
    PpdevPortLibrary library(kernel);
    ASSERT_NE(library.ClaimParallelPort(1, -1), 0);
    PortInfoRecord info;
    EXPECT_EQ(library.GetParallelPortInfo(1, info), 0) << text;
    EXPECT_THAT(library.failureReason(), HasSubstr("base-addr")) << text;
  }
}

TEST_F(PpdevTest, PcieCardLeavesEveryMenuItemEnabled) {
  kernel->files["/proc/sys/dev/parport/parport0/base-addr"] = "53264\t53256\n";
  PpdevPortLibrary library(kernel);
  Port port(library);
  PosixOsServices os({});
  RecordingMessages messages;
  PortMenuFlags menu;
  Startup(port, os, messages, menu).Main();

  EXPECT_EQ(port.PortBase(), 0xD010);
  EXPECT_TRUE(menu.lpt1 && menu.lpt2 && menu.prn);
  EXPECT_THAT(kernel->log, testing::Contains("PPWDATA 0xC0"));
}

TEST_F(PpdevTest, PortNumbersAndTheChosenDevice) {
  EXPECT_EQ(PpdevPortLibrary(kernel).devicePath(1), "/dev/parport0");
  EXPECT_EQ(PpdevPortLibrary(kernel).devicePath(3), "/dev/parport2");
  EXPECT_EQ(PpdevPortLibrary(kernel, "/dev/parport2").devicePath(1), "/dev/parport2");

  // A chosen device, found through a link: the kernel's port is the device's minor number.
  kernel->devices["/dev/vx3340"] = {99, 2};
  kernel->files["/proc/sys/dev/parport/parport2/base-addr"] = "53264\t53256\n";
  {
    PpdevPortLibrary library(kernel, "/dev/vx3340");
    ASSERT_NE(library.ClaimParallelPort(1, -1), 0);
    PortInfoRecord info;
    ASSERT_NE(library.GetParallelPortInfo(1, info), 0);
    EXPECT_EQ(info.baseAddress, 0xD010);
    EXPECT_EQ(library.GetParallelPortInfo(2, info), 0) << "only the claimed port has an address";
  }
  EXPECT_THAT(kernel->log,
              ElementsAre("open /dev/vx3340", "PPEXCL", "PPCLAIM", "close /dev/vx3340"));
}

TEST_F(PpdevTest, CountsThePortsTheKernelLists) {
  kernel->directories["/proc/sys/dev/parport"] = {"default", "parport0", "parport1", "parportx",
                                                  "parport"};
  EXPECT_EQ(PpdevPortLibrary(kernel).GetParallelPortCount(), 2);
  kernel->directories.clear();
  EXPECT_EQ(PpdevPortLibrary(kernel).GetParallelPortCount(), 0);
}

TEST_F(PpdevTest, AFailingIoctlEndsTheProgram) {
  PpdevPortLibrary library(kernel);
  claimAndLocate(library);
  kernel->ioctlErrors["PPWDATA"] = EIO;
  EXPECT_THROW(library.OutByte(0x378, 0x12), FatalError);
}

// vx3340ctl against the backend on a fake kernel.
struct CtlRun {
  int exit = -1;
  std::string out, err;
};

CtlRun runCtlOn(std::shared_ptr<FakePpdevSystem> kernel, std::vector<std::string> args) {
  std::ostringstream out, err;
  CtlEnvironment env{
      out,
      err,
      [](const std::vector<std::string>& a) { return std::make_unique<PosixOsServices>(a); },
      [kernel](const BackendOptions& o) {
        return std::make_unique<PpdevPortLibrary>(kernel, o.portDevice);
      },
      [](std::chrono::milliseconds) {},
      [] { return std::chrono::system_clock::time_point{}; },
  };
  CtlRun run;
  run.exit = runCtl(args, env);
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(PpdevCtl, RunsOnAWorkingPort) {
  auto kernel = std::make_shared<FakePpdevSystem>();
  kernel->dataLines = 0x2A;
  const CtlRun run = runCtlOn(kernel, {});
  EXPECT_EQ(run.exit, kExitOk) << run.err;
  EXPECT_THAT(run.out, HasSubstr("byte=0x2A"));
  EXPECT_THAT(run.err, IsEmpty());
}

struct FailureCase {
  std::string name;
  std::function<void(FakePpdevSystem&)> setUp;
  std::vector<std::string> args;
  std::vector<std::string> reasonParts;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class PpdevFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PpdevFailure, ShowsBothMessagesWithTheRemedyAndExits3) {
  const FailureCase& c = GetParam();
  auto kernel = std::make_shared<FakePpdevSystem>();
  c.setUp(*kernel);
  const CtlRun run = runCtlOn(kernel, c.args);

  EXPECT_EQ(run.exit, kExitNoPort);
  EXPECT_THAT(run.err, HasSubstr("VX3340: claim parallel port failed\n"));
  EXPECT_THAT(run.err,
              HasSubstr("GetPortAddress Error: This PC does not appear to have a Printer Port\n"));
  for (const auto& part : c.reasonParts) EXPECT_THAT(run.err, HasSubstr(part));
  // The reason follows the first message; the second carries the same one, written once.
  const std::string& first = c.reasonParts.front();
  EXPECT_LT(run.err.find("claim parallel port failed"), run.err.find(first));
  EXPECT_THAT(run.err, HasSubstr("Printer Port\nvx3340ctl: no parallel-port address"));
  // Nothing reached the device, and nothing is left open.
  for (const auto& entry : kernel->log) {
    EXPECT_THAT(entry, Not(HasSubstr("PPW")));
    EXPECT_THAT(entry, Not(HasSubstr("PPR")));
  }
  EXPECT_EQ(kernel->openDescriptors(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpdevFailure,
    ::testing::Values(
        FailureCase{"NoDevice",
                    [](FakePpdevSystem& k) { k.openErrors["/dev/parport0"] = ENOENT; },
                    {},
                    {"/dev/parport0 does not exist", "sudo modprobe parport_pc ppdev"}},
        FailureCase{"NoDeviceButAUsbPrinterCable",
                    [](FakePpdevSystem& k) {
                      k.openErrors["/dev/parport0"] = ENOENT;
                      k.directories["/dev/usb"] = {"hiddev0", "lp0"};
                    },
                    {},
                    {"sudo modprobe parport_pc ppdev", "USB printer cable (/dev/usb/lp0)",
                     "no register access"}},
        FailureCase{"PermissionDenied",
                    [](FakePpdevSystem& k) { k.openErrors["/dev/parport0"] = EACCES; },
                    {},
                    {"Permission denied", "lp group", "sudo usermod -aG lp $USER"}},
        FailureCase{
            "HeldByThePrinterDriver",
            [](FakePpdevSystem& k) {
              k.ioctlErrors["PPCLAIM"] = ENXIO;
              k.directories["/proc/sys/dev/parport/parport0/devices"] = {"active", "lp0"};
            },
            {},
            {"lp printer driver holds parport0 (lp0)", "sudo modprobe -r lp", "blacklist lp"}},
        FailureCase{"NodeWithoutAPort",
                    [](FakePpdevSystem& k) {
                      k.ioctlErrors["PPCLAIM"] = ENXIO;
                      k.files.clear();
                    },
                    {},
                    {"no parallel port behind it", "sudo modprobe parport_pc ppdev"}},
        FailureCase{"UsbPrinterNamed",
                    [](FakePpdevSystem&) {},
                    {"--port", "/dev/usb/lp0"},
                    {"USB printer", "no register access"}},
        FailureCase{"UsbPrinterBehindALink",
                    [](FakePpdevSystem& k) {
                      k.devices["/dev/printer"] = {180, 0};
                    },
                    {"--port", "/dev/printer"},
                    {"/dev/printer is a USB printer device", "no register access"}},
        FailureCase{"NotAParallelPort",
                    [](FakePpdevSystem& k) {
                      k.devices["/dev/ttyS0"] = {4, 64};
                    },
                    {"--port", "/dev/ttyS0"},
                    {"not a parallel port of the kernel's ppdev driver"}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vx

namespace vx {
namespace {

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
  EXPECT_EQ(number->major, 1u);  // the kernel's memory devices
  EXPECT_EQ(number->minor, 3u);
  EXPECT_EQ(system.ioctl(fd, PPCLAIM, nullptr), -ENOTTY);
  system.close(fd);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vx
