// The parllio.dll binding against the double DLL: what reaches the library, in which widths, and
// what happens when the library or one of its functions is missing. And the calling convention of
// the inpout32.dll binding.
#include "windows/ParllioLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "support/Support.h"
#include "windows/InpOutLibrary.h"

namespace vx {
namespace {

using test::ScopedEnvironment;
using ::testing::ElementsAre;

// The claim, the port information, their failures, and a missing library or function are seen
// in vx3340ctl.exe's runs (ctl-test.sh); these are the widths that no run of the program shows.
TEST(ParllioLibrary, ValuesKeepTheirWidths) {
  const std::string log = test::programFolder() + "widths.log";  // the double's calls
  DeleteFileA(log.c_str());
  ScopedEnvironment logging("PARLLIO_LOG", log);
  ParllioLibrary library;
  library.OutByte(0x378, 0xFF80);  // -128 as a 16-bit value: widened with its sign
  library.OutByte(0x378, 0x1C0);
  ScopedEnvironment high("PARLLIO_INBYTE_HIGH", "12300");  // start-up's check must see these
  EXPECT_EQ(library.InByte(0x379), 0x12378);
  EXPECT_THAT(test::fileLines(log),
              ElementsAre("OutByte 0x378 0xFFFFFF80", "OutByte 0x378 0x000001C0",
                          "InByte 0x379 -> 0x12378"));
}

// Calls through a pointer of the wrong convention (cdecl for the library's stdcall) leave the
// caller's stack pointer off by the argument bytes on every call: the caller's saved registers
// and return address are then read from the wrong place, and this loop crashes or miscounts.
// The same for InpOut32's functions, whose double plays a port at 0xD010 (with no port listed,
// its claim and port information fail).
TEST(PortLibraries, CallsLeaveTheCallersStackIntact) {
#ifndef __i386__
  GTEST_SKIP() << "32-bit only: 64-bit code has a single calling convention, so there is no "
                  "stdcall to get wrong";
#endif
  ParllioLibrary parllio;
  InpOutLibrary inpout(
      {}, [] { return std::vector<ListedPort>{}; }, "");
  for (const auto& [port, base] : {std::pair<PortLibrary*, std::int32_t>{&parllio, 0x378},
                                   std::pair<PortLibrary*, std::int32_t>{&inpout, 0xD010}}) {
    port->OutByte(base + 2, 0x04);  // data lines driving: the data register reads back
    std::int32_t sum = 0, expected = 0;
    for (std::int32_t i = 0; i < 2000; ++i) {
      port->OutByte(base, i);
      PortInfoRecord record;
      sum += port->InByte(base) + port->GetParallelPortCount() +
             port->GetParallelPortInfo(1, record) + port->ClaimParallelPort(1, -1);
      expected += (i & 0xFF) + (port == &parllio);
    }
    EXPECT_EQ(sum, expected) << base;
  }
}

}  // namespace
}  // namespace vx
