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

// Start-up on each path of tests/data/startup.runs. Each run writes its library calls, its boxes
// (with their icon and details) in the order they come, and the menu, base address and version text
// it leaves; the whole transcript is checked against tests/data/startup.expected.
TEST(Startup, EachPathLineForLine) {
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
  for (const std::string& row : test::expected("startup.runs")) {
    if (row[0] == '#') continue;
    std::istringstream fields(row);
    std::string name, record, line, library;
    for (std::string* field : {&name, &record, &line, &library}) std::getline(fields, *field, '|');
    test::FakeOs os;
    std::istringstream(record) >> os.answer.dwPlatformId >> os.answer.dwMajorVersion >>
        os.answer.dwMinorVersion;
    if (name == "version") {  // the version text alone; platform 9 makes the query fail
      os.fails = os.answer.dwPlatformId == 9;
      transcript << fmt::format("version {}: \"{}\", record size {}\n", record,
                                GetWindowsVersion(os), os.seen.dwOSVersionInfoSize);
      continue;
    }
    os.line = line;
    transcript << "== " << name << "\n";
    test::FakePortLibrary fake;
    std::istringstream(library) >> fake.claimResult >> fake.infoResult >> std::hex >>
        fake.baseAddress >> fake.controlValue;
    fake.reason = "the reason";
    TracingPortLibrary tracer(fake, transcript);
    Port port(tracer);
    PortMenuFlags menu;
    const StartupResult result = Startup(port, os, boxes, menu).Main();
    transcript << fmt::format("LPT1 {:d} LPT2 {:d} PRN {:d}, PortBase 0x{:X}, \"{}\"\n", menu.lpt1,
                              menu.lpt2, menu.prn, port.PortBase(), result.WinVersion);
  }
  EXPECT_THAT(test::lines(transcript.str()), ElementsAreArray(test::expected("startup.expected")));
}

}  // namespace
}  // namespace vx
