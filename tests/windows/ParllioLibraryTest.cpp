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
using test::programFolder;
using test::ScopedEnvironment;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ParllioLibrary, PassesArgumentsAndReadsSixteenBitResults) {
  CallLog log("widths");
  ParllioLibrary library;
  EXPECT_EQ(library.GetParallelPortCount(), 1);
  // The library's success results carry junk above bit 15; only the low word counts.
  EXPECT_EQ(library.ClaimParallelPort(1, -1), -1);
  EXPECT_EQ(library.failureReason(), "");
  {
    ScopedEnvironment refuse("PARLLIO_CLAIM", "refuse");
    // 0x00010000: a refusal that a 32-bit read would take for a claim.
    EXPECT_EQ(library.ClaimParallelPort(1, -1), 0);
    EXPECT_THAT(library.failureReason(), HasSubstr("parllio.dll refused to claim port 1"));
  }
  EXPECT_THAT(log.lines(),
              ElementsAre("GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 0x5A5AFFFF",
                          "ClaimParallelPort 1 -1 -> 0x00010000"));
}

TEST(ParllioLibrary, FillsThePortInformationRecord) {
  CallLog log("info");
  ScopedEnvironment base("PARLLIO_BASE", "3BC");
  ParllioLibrary library;
  PortInfoRecord record;
  // The double refuses a record that is not 12 bytes with zeros after the address.
  EXPECT_EQ(library.GetParallelPortInfo(1, record), 1);
  EXPECT_EQ(record.size, 12u);
  EXPECT_EQ(record.baseAddress, 0x3BC);
  {
    ScopedEnvironment none("PARLLIO_BASE", "none");
    PortInfoRecord missing;
    EXPECT_EQ(library.GetParallelPortInfo(1, missing), 0);
    EXPECT_EQ(missing.baseAddress, 0);
    EXPECT_THAT(library.failureReason(), HasSubstr("parllio.dll knows no port 1"));
  }
  EXPECT_THAT(log.lines(),
              ElementsAre("GetParallelPortInfo 1 size=12 reserved=zero -> 0x5A5A0001 base=0x3BC",
                          "GetParallelPortInfo 1 size=12 reserved=zero -> 0x00020000"));
}

TEST(ParllioLibrary, WidensOutByteValuesWithTheirSign) {
  CallLog log("outbyte");
  ParllioLibrary library;
  library.OutByte(0x378, 0x7F);
  library.OutByte(0x378, 0xFF80);  // -128 as a 16-bit value
  library.OutByte(0x37A, -1);
  library.OutByte(0x37A, 0x1C0);
  EXPECT_THAT(log.lines(), ElementsAre("OutByte 0x378 0x0000007F", "OutByte 0x378 0xFFFFFF80",
                                       "OutByte 0x37A 0xFFFFFFFF", "OutByte 0x37A 0x000001C0"));
}

TEST(ParllioLibrary, ReturnsInBytesThirtyTwoBitResultUnchanged) {
  CallLog log("inbyte");
  ParllioLibrary library;
  library.OutByte(0x37A, 0xC4);
  EXPECT_EQ(library.InByte(0x37A), 0xC4);
  // Start-up's overflow check must see any upper bits the library returns.
  ScopedEnvironment high("PARLLIO_INBYTE_HIGH", "12300");
  EXPECT_EQ(library.InByte(0x37A), 0x123C4);
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
  std::int32_t sum = 0;
  std::int32_t expected = 0;
  for (std::int32_t i = 0; i < 2000; ++i) {
    port.OutByte(0x378, i);
    sum += port.InByte(0x378);
    sum += port.GetParallelPortCount();
    PortInfoRecord record;
    sum += port.GetParallelPortInfo(1, record) + port.ClaimParallelPort(1, -1);
    expected += (i & 0xFF) + 1 + 1 - 1;
  }
  EXPECT_EQ(sum, expected);
}

TEST(ParllioLibrary, AMissingLibraryIsARunTimeErrorThatSaysWhatToDo) {
  ParllioLibrary library("vx-missing-parllio.dll");
  try {
    library.InByte(0x378);
    FAIL() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_THAT(e.what(), HasSubstr("File not found: vx-missing-parllio.dll"));
    EXPECT_THAT(e.what(), HasSubstr("Put vx-missing-parllio.dll beside the program"));
  }
}

TEST(ParllioLibrary, LoadsTheLibraryAtTheFirstCallAndAFunctionOnlyWhenCalled) {
  // This library lacks GetParallelPortCount.
  const std::string partial = programFolder() + "partial\\parllio.dll";
  ParllioLibrary library(partial);
  EXPECT_EQ(GetModuleHandleA(partial.c_str()), nullptr);
  library.OutByte(0x378, 0x55);
  EXPECT_NE(GetModuleHandleA(partial.c_str()), nullptr);
  EXPECT_EQ(library.InByte(0x378), 0x55);
  try {
    library.GetParallelPortCount();
    FAIL() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_THAT(e.what(), HasSubstr("Can't find DLL entry point GetParallelPortCount in"));
    EXPECT_THAT(e.what(), HasSubstr("beside the program"));
  }
  // The functions it has still work.
  EXPECT_EQ(library.ClaimParallelPort(1, -1), -1);
}

}  // namespace
}  // namespace vx
