#pragma once

namespace vx {

// Both programs' exit codes.
enum ExitCode : int {
  kExitOk = 0,
  kExitBadInput = 2,           // a bad command line or file: nothing reached the port
  kExitNoPort = 3,             // no port address after start-up
  kExitProtocolViolation = 4,  // the simulated board saw a link-protocol violation
  kExitRuntimeError = 5,       // a run-time error, such as a missing port library
};

}  // namespace vx
