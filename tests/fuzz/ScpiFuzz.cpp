// Bytes from a client into a SCPI connection, over the simulated board. The
// link protocol is never broken, every answer is one line of text for a line
// the client sent, and the connection goes on (no exception, no crash) whatever
// comes. The answers are taken in small portions, as a client that reads slowly
// gets them, so the cap's path runs too.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "Fuzz.h"
#include "scpi/Session.h"
#include "support/Support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vx::fuzz::check;
  vx::test::BoardRig rig;
  vx::ScpiConnection connection(true);

  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::ptrdiff_t linesSent = 0, linesAnswered = 0;
  while (!bytes.empty()) {
    std::string answers;
    const auto fed = connection.feed(bytes, rig.instrument, answers, 256);
    check(fed.used > 0, "a call took no bytes");
    linesSent += std::count(bytes.begin(), bytes.begin() + fed.used, '\n');
    bytes.remove_prefix(fed.used);
    check((answers.empty() || answers.back() == '\n') &&
              std::ranges::all_of(answers,
                                  [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7F); }),
          "an answer is not whole lines of text");
    linesAnswered += std::ranges::count(answers, '\n');
    check(linesAnswered <= linesSent, "more answer lines than lines sent");
    if (fed.http) break;  // the session drops this client here
  }
  check(rig.board.violations().empty(), "the link protocol was broken");
  return 0;
}
