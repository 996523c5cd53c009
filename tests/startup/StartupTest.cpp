// Start-up: the version text, the port's selection and claim, the menu, the control register's
// clean-up, the status box and the idle lines.
#include "startup/Startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

// Start-up on each path. Each run writes its library calls, its boxes (with their icon and
// details) in the order they come, and the menu, base address and version text it leaves; the
// whole transcript is checked against tests/data/startup.expected.
TEST(Startup, EachPathLineForLine) {
  struct Scenario {
    const char* name;
    std::uint32_t platform, major, minor;
    const char* commandLine;
    std::int16_t claim, info;
    std::int32_t base, control;
  };
  // clang-format off
  const Scenario scenarios[] = {
      {"Windows 2000",  2, 5, 0,  "",       1, 1, 0x378,  0xCC},
      {"Windows 95",    1, 4, 0,  "a/Ssb",  1, 1, 0x278,  0xFF},
      {"Windows 98",    1, 4, 10, "-x /ss", 1, 1, 0x278,  0x0B},
      {"9x minor 90",   1, 4, 90, "/S S",   1, 1, 0x278,  0x04},
      {"NT 6",          2, 6, 0,  "",       1, 1, 0x3BC,  0x04},
      {"PCIe card",     0, 0, 0,  "/SS",    1, 1, 0xD010, 0x04},
      {"beside PRN",    0, 0, 0,  "",       1, 1, 0x3BD,  0x04},
      {"claim refused", 2, 4, 0,  "",       0, 1, 0x3BC,  0x04},
      {"no port",       2, 5, 0,  "/SS",    0, 0, 0x378,  0x04},
  };
  // clang-format on
  std::ostringstream transcript;
  struct Boxes : Messages {
    std::ostream& out;
    explicit Boxes(std::ostream& o) : out(o) {}
    void show(const Message& m) override {
      const char* icons[] = {"none", "exclamation", "information", "critical"};
      std::string text = m.text;
      if (const auto cr = text.find('\r'); cr != std::string::npos) text.replace(cr, 1, "\\r");
      out << "box " << icons[static_cast<int>(m.icon)] << ": " << m.title << ": " << text
          << (m.details.empty() ? "" : " | " + m.details) << "\n";
    }
  } boxes(transcript);
  for (const Scenario& s : scenarios) {
    transcript << "== " << s.name << "\n";
    test::FakePortLibrary fake;
    fake.claimResult = s.claim;
    fake.infoResult = s.info;
    fake.baseAddress = s.base;
    fake.controlValue = s.control;
    fake.reason = "the reason";
    TracingPortLibrary tracer(fake, transcript);
    Port port(tracer);
    test::FakeOs os(s.platform, s.major, s.minor);
    os.line = s.commandLine;
    PortMenuFlags menu;
    const StartupResult result = Startup(port, os, boxes, menu).Main();
    transcript << fmt::format("LPT1 {:d} LPT2 {:d} PRN {:d}, PortBase 0x{:X}, \"{}\"\n", menu.lpt1,
                              menu.lpt2, menu.prn, port.PortBase(), result.WinVersion);
  }
  // The version text of the records that no path above meets, and of a query that fails.
  const std::uint32_t records[][3] = {{1, 0, 10}, {2, 3, 51}, {2, 5, 1},  {2, 5, 2},
                                      {2, 10, 0}, {0, 5, 0},  {3, 10, 0}, {9, 9, 9}};
  for (const auto& [platform, major, minor] : records) {
    test::FakeOs os(platform, major, minor);
    os.fails = platform == 9;
    transcript << fmt::format("version {} {}.{}: \"{}\", record size {}\n", platform, major, minor,
                              GetWindowsVersion(os), os.seen.dwOSVersionInfoSize);
  }
  EXPECT_THAT(test::lines(transcript.str()), ElementsAreArray(test::expected("startup.expected")));
}

}  // namespace
}  // namespace vx
