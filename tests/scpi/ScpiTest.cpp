// A SCPI session on a stream pair, over the simulated board: what each line answers, the error
// queue, and what reaches the board.
#include "scpi/Session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "board/FrontPanel.h"
#include "port/SimulatedBoard.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// One client's session over the simulated board: tests/data/scpi-session.in line by line, each
// written with its answers and the control words its refreshes latched, against
// tests/data/scpi-session.expected. "<too long>" stands for a line of 5000 bytes and "<not text>"
// for bytes that are no text.
TEST(Scpi, SessionLineForLine) {
  SimulatedBoard board;
  test::TracedPort rig(board);
  rig.port().setPortBase(0x378);
  FrontPanel panel(rig.port());
  ScpiInstrument instrument(panel);
  ScpiConnection client;
  std::ostringstream transcript;
  for (std::string line : test::expected("scpi-session.in")) {
    transcript << "> " << line << "\n";
    if (line == "<too long>") line = std::string(5000, 'A');
    if (line == "<not text>") line = "\xff\xfe";
    transcript << client.feed(line + "\r\n", instrument);
    for (const auto& word : rig.latched()) transcript << "latched " << word << "\n";
  }
  EXPECT_THAT(test::lines(transcript.str()),
              ElementsAreArray(test::expected("scpi-session.expected")));
  EXPECT_TRUE(board.violations().empty());
}

TEST(Scpi, FramerDropsOverlongAndForeignLinesAndStripsCarriageReturns) {
  LineFramer framer;
  std::vector<std::pair<int, std::string>> events;
  const std::string input = "A\r\n" + std::string(LineFramer::kMaxLine, 'B') + "\nC\tD\n" +
                            std::string(LineFramer::kMaxLine + 1, 'E') + "\n\x01\n";
  for (char c : input)
    if (auto e = framer.feed(c)) events.emplace_back(e->kind, e->line);
  EXPECT_THAT(events, ElementsAre(std::pair{0, std::string("A")},
                                  std::pair{0, std::string(LineFramer::kMaxLine, 'B')},
                                  std::pair{0, std::string("C\tD")}, std::pair{1, std::string()},
                                  std::pair{2, std::string()}));
}

TEST(Scpi, ListenAddresses) {
  const std::pair<const char*, const char*> good[] = {
      {"5025", "127.0.0.1:5025"}, {"0.0.0.0:80", "0.0.0.0:80"}, {"[::1]:0", "::1:0"}};
  for (const auto& [text, expected] : good) {
    const auto where = parseListenAddress(text);
    ASSERT_TRUE(where) << text;
    EXPECT_EQ(where->address + ":" + std::to_string(where->port), expected);
  }
  for (const char* bad : {"", "65536", "x", "host:5025", "::1:5025", "1.2.3.4:", "5025x"})
    EXPECT_FALSE(parseListenAddress(bad)) << bad;
}

}  // namespace
}  // namespace vx
