#pragma once

// Windows only: the version query and the command line, from the system itself.

#include <string>
#include <string_view>

#include "startup/OsServices.h"

namespace vx {

// The text after the program's name in a whole command line, as Windows splits it off: a name
// in double quotes ends at the closing quote, any other at the first space or tab. The blanks
// that separate it from the arguments are dropped.
std::string argumentsAfterProgramName(std::string_view commandLine);

// Whether this is a 32-bit program on 64-bit Windows (IsWow64Process, looked up at run time:
// Windows before XP SP2 has none, and runs no 64-bit code).
bool runsUnderWow64();

// The full path of a file beside the program, in the folder that holds its .exe.
std::string besideProgram(const std::string& fileName);

class WinOsServices : public OsServices {
 public:
  // GetVersionExA on the prepared record. A failed query leaves the record as it was.
  void queryVersion(OsVersionRecord& record) override;
  // The arguments of GetCommandLineA, after the program's name.
  std::string commandLine() override;
};

}  // namespace vx
