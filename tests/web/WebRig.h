#pragma once

// The web panel over the simulated board, as the web tests and the web fuzz target drive it: a
// clock the test sets, and every port access written to a trace, one a line.

#include <cstdint>
#include <sstream>

#include "board/FrontPanel.h"
#include "port/LineRecorder.h"
#include "port/SimulatedBoard.h"
#include "port/TracingPortLibrary.h"
#include "web/WebPanel.h"

namespace vx::test {

struct WebRig {
  WebRig() { port.setPortBase(SimulatedBoard::kBase); }

  std::int64_t now = 1'700'000'000'042;
  SimulatedBoard board;
  LineRecorder lines{board, fixedStepClock()};
  std::ostringstream trace;
  TracingPortLibrary tracer{lines, trace};
  Port port{tracer};
  FrontPanel panel{port};
  WebPanel web{panel, lines, [this] { return now; }};
};

}  // namespace vx::test
