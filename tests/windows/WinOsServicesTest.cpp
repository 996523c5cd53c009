// The Windows version query and the command line's arguments.
#include "windows/WinOsServices.h"

#include <gtest/gtest.h>

#include <cstring>

#include "startup/Startup.h"

namespace vx {
namespace {

TEST(ArgumentsAfterProgramName, SplitsOffThePlainOrQuotedProgramName) {
  EXPECT_EQ(argumentsAfterProgramName("vx3340ctl.exe /SS"), "/SS");
  EXPECT_EQ(argumentsAfterProgramName("vx3340ctl.exe\t -x  /ss "), "-x  /ss ");
  EXPECT_EQ(argumentsAfterProgramName("C:\\VX\\vx3340.exe"), "");
  EXPECT_EQ(argumentsAfterProgramName("vx3340.exe "), "");
  EXPECT_EQ(argumentsAfterProgramName("\"C:\\Program Files\\VX 3340\\vx3340.exe\" a/Ssb"), "a/Ssb");
  // A quoted name ends at its closing quote, even without a blank after it.
  EXPECT_EQ(argumentsAfterProgramName("\"C:\\VX\\vx3340.exe\"/SS"), "/SS");
  // The arguments keep their own quotes.
  EXPECT_EQ(argumentsAfterProgramName("\"vx 3340.exe\" \"/S S\" x"), "\"/S S\" x");
  EXPECT_EQ(argumentsAfterProgramName("\"unterminated name /SS"), "");
  EXPECT_EQ(argumentsAfterProgramName(""), "");
}

TEST(WinOsServices, AnsweringTheQueryKeepsTheRecordsSizeAndFillsTheNumbers) {
  WinOsServices os;
  OsVersionRecord record;
  record.dwOSVersionInfoSize = sizeof record;
  std::memset(record.szCSDVersion, ' ', sizeof record.szCSDVersion);
  os.queryVersion(record);
  EXPECT_EQ(record.dwOSVersionInfoSize, 148u);
  EXPECT_NE(record.dwPlatformId, 0u);
  EXPECT_NE(record.dwMajorVersion, 0u);
  // The service-pack text is the system's, terminated within its field.
  EXPECT_NE(std::memchr(record.szCSDVersion, '\0', sizeof record.szCSDVersion), nullptr);
}

TEST(WinOsServices, AFailedQueryLeavesTheRecordAsItWas) {
  WinOsServices os;
  OsVersionRecord record;  // size 0: the system refuses the query
  os.queryVersion(record);
  EXPECT_EQ(record.dwPlatformId, 0u);
  EXPECT_EQ(record.dwMajorVersion, 0u);
  EXPECT_EQ(versionText(record), "Failed");
}

}  // namespace
}  // namespace vx
