// The parllio.dll binding against the double DLL: what reaches the library, in which widths, and
// what happens when the library or one of its functions is missing.
#include "windows/ParllioLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "port/FatalError.h"

namespace vx {
namespace {

using test::CallLog;
using test::ScopedEnvironment;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ParllioLibrary, ArgumentsAndResultsInTheirWidths) {
  CallLog log("widths");
  ScopedEnvironment base("PARLLIO_BASE", "3BC");
  ParllioLibrary library;
  EXPECT_EQ(library.GetParallelPortCount(), 1);
  // The double's success results carry junk above bit 15; only the low word counts.
  EXPECT_EQ(library.ClaimParallelPort(1, -1), -1);
  PortInfoRecord record;
  EXPECT_EQ(library.GetParallelPortInfo(1, record), 1);  // refused unless 12 bytes, zeros after
  EXPECT_EQ(record.baseAddress, 0x3BC);
  EXPECT_EQ(library.failureReason(), "");
  library.OutByte(0x3BE, 0x04);
  library.OutByte(0x3BC, 0xFF80);  // -128 as a 16-bit value: widened with its sign
  library.OutByte(0x3BC, 0x1C0);
  EXPECT_EQ(library.InByte(0x3BE), 0x04);
  {
    // Start-up's overflow check must see any upper bits InByte returns.
    ScopedEnvironment high("PARLLIO_INBYTE_HIGH", "12300");
    EXPECT_EQ(library.InByte(0x3BE), 0x12304);
  }
  {
    ScopedEnvironment refuse("PARLLIO_CLAIM", "refuse");  // 0x00010000: not a claim
    EXPECT_EQ(library.ClaimParallelPort(1, -1), 0);
    EXPECT_THAT(library.failureReason(), HasSubstr("parllio.dll refused to claim port 1"));
    ScopedEnvironment none("PARLLIO_BASE", "none");
    PortInfoRecord fresh;
    EXPECT_EQ(library.GetParallelPortInfo(1, fresh), 0);
    EXPECT_THAT(library.failureReason(), HasSubstr("parllio.dll knows no port 1"));
  }
  EXPECT_THAT(log.lines(),
              ElementsAre("GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 0x5A5AFFFF",
                          "GetParallelPortInfo 1 size=12 reserved=zero -> 0x5A5A0001 base=0x3BC",
                          "OutByte 0x3BE 0x00000004", "OutByte 0x3BC 0xFFFFFF80",
                          "OutByte 0x3BC 0x000001C0", "InByte 0x3BE -> 0x04",
                          "InByte 0x3BE -> 0x12304", "ClaimParallelPort 1 -1 -> 0x00010000",
                          "GetParallelPortInfo 1 size=12 reserved=zero -> 0x00020000"));
}

// Calls through a pointer of the wrong convention (cdecl for the library's stdcall) leave the
// caller's stack pointer off by the argument bytes on every call: the caller's saved registers
// and return address are then read from the wrong place, and this loop crashes or miscounts.
TEST(ParllioLibrary, CallsLeaveTheCallersStackIntact) {
#ifndef __i386__
  GTEST_SKIP() << "32-bit only: 64-bit code has a single calling convention, so there is no "
                  "stdcall to get wrong";
#endif
  ParllioLibrary library;
  PortLibrary& port = library;
  port.OutByte(0x37A, 0x04);  // data lines driving: the data register reads back
  std::int32_t sum = 0, expected = 0;
  for (std::int32_t i = 0; i < 2000; ++i) {
    port.OutByte(0x378, i);
    PortInfoRecord record;
    sum += port.InByte(0x378) + port.GetParallelPortCount() + port.GetParallelPortInfo(1, record) +
           port.ClaimParallelPort(1, -1);
    expected += (i & 0xFF) + 1;
  }
  EXPECT_EQ(sum, expected);
}

TEST(ParllioLibrary, LoadsAtTheFirstCallAndAMissingPieceSaysWhatToDo) {
  try {
    ParllioLibrary("vx-missing-parllio.dll").InByte(0x378);
    ADD_FAILURE() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_THAT(e.what(), HasSubstr("File not found: vx-missing-parllio.dll. Put "
                                    "vx-missing-parllio.dll beside the program"));
  }
  // This copy lacks GetParallelPortCount.
  const std::string partial = test::programFolder() + "partial\\parllio.dll";
  ParllioLibrary library(partial);
  EXPECT_EQ(GetModuleHandleA(partial.c_str()), nullptr);
  library.OutByte(0x378, 0x55);
  EXPECT_NE(GetModuleHandleA(partial.c_str()), nullptr);
  EXPECT_EQ(library.InByte(0x378), 0x55);
  try {
    library.GetParallelPortCount();
    ADD_FAILURE() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_THAT(e.what(), HasSubstr("Can't find DLL entry point GetParallelPortCount in"));
    EXPECT_THAT(e.what(), HasSubstr("beside the program"));
  }
  EXPECT_EQ(library.ClaimParallelPort(1, -1), -1);  // the functions it has still work
}

}  // namespace
}  // namespace vx
