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

struct Session {
  SimulatedBoard board;
  test::TracedPort rig{board};
  FrontPanel panel{rig.port()};
  ScpiInstrument instrument{panel};

  Session() { rig.port().setPortBase(0x378); }
  std::vector<std::string> run(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out;
    serveStream(in, out, instrument);
    return test::lines(out.str());
  }
  // The control word latched by each refresh since the last call.
  std::vector<std::string> latched() {
    std::vector<std::string> words;
    const auto trace = rig.take();
    for (std::size_t i = 2; i < trace.size(); i += 36) words.push_back(trace[i].substr(14));
    return words;
  }
};

TEST(Scpi, CommandsQueriesAndTheirTraffic) {
  Session s;
  const std::pair<const char*, std::vector<std::string>> steps[] = {
      {"*IDN?", {"VX3340 evaluation board,vx3340ctl,0,1.2.0.0"}},
      // Before any pick: the all-zero start.
      {"CONF:RANG?;FORC?;COMP?;MEAS?;CAP?;STAND?", {"4UA;VOLT;VOLT;VM;0;OFF"}},
      // State is kept across lines: current force, then cap 2, latch both.
      {"conf:forc current", {}},
      {"CONFigure:CAPacitor 2", {}},
      {":CONF:RANG 160ma;:configure:measure IM;COMParator CURR;STANDBY ON", {}},
      {"CONF:RANG?;FORC?;COMP?;MEAS?;CAP?;STAND?", {"160MA;CURR;CURR;IM;2;ON"}},
      {"READ?;*OPC?", {"0,0,0,0,1,1,48;1"}},  // standby: output off; QM4 and QM5 read back
      {"CONF:STAND 0;RANG STANDBY;RANG?", {"STANDBY"}},
      {"*RST;CONF:RANG?;CAP?", {"4UA;0"}},
  };
  for (const auto& [line, answers] : steps)
    EXPECT_THAT(s.run(std::string(line) + "\n"), ElementsAreArray(answers)) << line;
  EXPECT_THAT(s.latched(), ElementsAre("0x08", "0x88", "0x8D", "0xAD", "0xBD", "0xBD", "0xBD",
                                       "0xBD", "0xBE", "0x00"));
  EXPECT_TRUE(s.board.violations().empty());
}

TEST(Scpi, ErrorsCostTheirLineOnlyAndQueuePerClient) {
  Session s;
  const std::string tooLong(5000, 'A');
  const auto out = s.run(
      "BOGUS\nCONF:RANG 10mA\nCONF:RANG\nREAD? 1\nCONF:CAP 1,2\n*RST?\n*IDN? x\nCONF::RANG 4MA\n"
      "CONF:RANG 4MA;;READ?\n" +
      tooLong + "\n\xff\xfe\n\"CONF\"\n" +
      "CONF:RANG 4MA,\nCONF:RANG 4MA;BOGUS;:CONF:RANG?\nCONF:RANG?\n*ESR?\n*STB?\n" +
      "SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?\n" +
      "SYST:ERR?;SYST:ERR:NEXT?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?\n*STB?\n");
  EXPECT_THAT(
      out,
      ElementsAre(
          "4MA", "48", "4",
          "-113,\"Undefined header\";-224,\"Illegal parameter value\";-109,\"Missing parameter\";"
          "-108,\"Parameter not allowed\";-108,\"Parameter not allowed\";-113,\"Undefined header\";"
          "-108,\"Parameter not allowed\";-102,\"Syntax error\"",
          "-102,\"Syntax error\";-223,\"Too much data\";-101,\"Invalid character\";"
          "-102,\"Syntax error\";-109,\"Missing parameter\";-113,\"Undefined header\";0,\"No "
          "error\"",
          "0"));
  // Two lines set 4 mA: the one before its error, and the one before an empty command.
  EXPECT_THAT(s.latched(), ElementsAre("0x03", "0x03"));

  // The queue holds 20; beyond that its newest entry says it overflowed.
  std::string many;
  for (int i = 0; i < 25; ++i) many += "BOGUS\n";
  many += "*ESR?";
  for (int i = 0; i < 21; ++i) many += ";SYST:ERR?";
  const auto answers = s.run(many + "\nBOGUS\n*CLS;*ESR?;SYST:ERR?\n");
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_THAT(answers[0], ::testing::StartsWith("32;-113,\"Undefined header\";"));
  EXPECT_THAT(answers[0], ::testing::EndsWith(";-350,\"Queue overflow\";0,\"No error\""));
  EXPECT_EQ(answers[1], "0;0,\"No error\"");
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
  EXPECT_TRUE(isLoopback(*parseListenAddress("127.0.0.2:1")));
  EXPECT_FALSE(isLoopback(*parseListenAddress("0.0.0.0:1")));
}

}  // namespace
}  // namespace vx
