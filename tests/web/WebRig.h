#pragma once

// The web panel over the simulated board, as the web tests and the web fuzz target drive it: a
// clock the test sets, and every port access written to a trace, one a line.

#include <cstdint>
#include <cstring>
#include <functional>
#include <sstream>
#include <string_view>

#include "board/FrontPanel.h"
#include "port/LineRecorder.h"
#include "port/SimulatedBoard.h"
#include "port/TracingPortLibrary.h"
#include "web/WebConversation.h"
#include "web/WebPanel.h"

namespace vx::test {

struct WebRig {
  std::int64_t now = 1'700'000'000'042;
  SimulatedBoard board;
  LineRecorder lines{board, fixedStepClock()};
  std::ostringstream trace;
  TracingPortLibrary tracer{lines, trace};
  Port port{tracer};
  FrontPanel panel{(port.setPortBase(SimulatedBoard::kBase), port)};
  WebPanel web{panel, lines, [this] { return now; }};
};

// Runs a conversation as a server's connection does, on bytes that arrive in pieces of at most
// the room it gives, then on the end of the client's input; calls onStep after every step.
// Returns when the conversation closes or becomes an event stream.
inline void converse(WebConversation& talk, std::string_view bytes,
                     const std::function<void(const WebConversation::Step&)>& onStep) {
  for (;;) {
    const auto step = talk.next();
    onStep(step);
    if (step.close || step.stream) return;
    if (!step.reply.empty()) continue;
    if (bytes.empty()) {
      talk.ended();
      continue;
    }
    const auto space = talk.space();
    const auto n = std::min(space.size(), bytes.size());
    std::memcpy(space.data(), bytes.data(), n);
    talk.received(n);
    bytes.remove_prefix(n);
  }
}

}  // namespace vx::test
