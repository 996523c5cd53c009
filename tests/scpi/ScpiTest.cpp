// A SCPI session on a stream pair, over the simulated board: what each line answers, the error
// queue, and what reaches the board.
#include "scpi/Session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Support.h"

namespace vx {
namespace {

// One client's session over the simulated board, refusing HTTP as on TCP: tests/data/
// scpi-session.in line by line (each ended by CR LF), written with its answers, whether it was
// refused as HTTP (on TCP that ends the connection; here the next line is taken) and the control
// words its refreshes latched, against tests/data/scpi-session.expected. Stand-ins mark the lines
// that a text file cannot hold.
TEST(Scpi, SessionLineForLine) {
  test::BoardRig rig;
  ScpiConnection client(true);
  std::string transcript;
  for (std::string line : test::expected("scpi-session.in")) {
    transcript += "> " + line + "\n";
    if (line == "<longest>") line = "*OPC?" + std::string(LineFramer::kMaxLine - 6, ' ');
    if (line == "<too long>") line = std::string(LineFramer::kMaxLine, 'A');  // and its CR
    if (line == "<not text>") line = "*OPC?\x7f";
    // The answers go straight into the transcript.
    if (client.feed(line + "\r\n", rig.instrument, transcript, std::string::npos).http)
      transcript += "refused: it looks like HTTP\n";
    for (const auto& word : test::controlWords(rig.traced.take()))
      transcript += "latched " + word + "\n";
  }
  EXPECT_THAT(test::lines(transcript),
              ::testing::ElementsAreArray(test::expected("scpi-session.expected")));
  EXPECT_TRUE(rig.board.violations().empty());
}

// Good addresses are seen in the TCP test; a port alone listens on loopback there.
TEST(Scpi, ListenAddresses) {
  EXPECT_EQ(net::parseListenAddress("[::1]:80").value_or(net::ListenAddress{}).address, "::1");
  for (const char* bad : {"", "65536", "x", "host:5025", "::1:5025", "1.2.3.4:", "5025x"})
    EXPECT_FALSE(net::parseListenAddress(bad)) << bad;
}

}  // namespace
}  // namespace vx
