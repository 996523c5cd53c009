// The web panel's requests, short of the socket: what each is answered and what reaches the port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>

#include "board/FrontPanel.h"
#include "port/LineRecorder.h"
#include "port/SimulatedBoard.h"
#include "support/Support.h"
#include "web/WebServer.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

struct WebTest : ::testing::Test {
  void SetUp() override { rig.port().setPortBase(SimulatedBoard::kBase); }

  std::int64_t now = 1'700'000'000'000;
  SimulatedBoard board;
  LineRecorder lines{board, fixedStepClock()};
  test::TracedPort rig{lines};
  FrontPanel panel{rig.port()};
  WebPanel web{panel, lines, [this] { return now; }};
};

// web-requests.in holds one request a line ("|" for CR LF, the address reached in front); the
// transcript gives each one's request line, its status and error, then the port traffic it
// caused. Every refusal sends nothing; a pick sends the window's pick, a read the Read button's.
TEST_F(WebTest, RequestsAndWhatReachesThePort) {
  std::vector<std::string> transcript;
  for (const std::string& line : test::expected("web-requests.in")) {
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.find(' '), colon = line.rfind(':', space);
    const std::string bytes = std::regex_replace(line.substr(space + 1), std::regex("\\|"), "\r\n");
    const auto ex = exchange(web, bytes, line.substr(0, colon),
                             static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1, space))));
    transcript.push_back("> " + bytes.substr(0, bytes.find('\r')));
    const auto head = ex.reply.substr(0, ex.reply.find('\r'));
    const auto body = ex.reply.substr(ex.reply.find("\r\n\r\n") + 4);
    const auto error = nlohmann::json::parse(body, nullptr, false);
    transcript.push_back("< " + head +
                         (error.contains("error") ? " " + error["error"].dump() : ""));
    for (const std::string& access : rig.take()) transcript.push_back("  " + access);
  }
  EXPECT_THAT(transcript, ElementsAreArray(test::expected("web-requests.expected")));
}

// The history keeps ten minutes of refreshes; the state reports the last reading and settings.
TEST_F(WebTest, StateKeepsTenMinutesOfHistory) {
  for (int i = 0; i < 12; ++i, now += 60'000) panel.cmdRead_Click();
  panel.select(SelectionId::Range, 3);
  const auto ex =
      exchange(web, "GET /api/state HTTP/1.1\r\nHost: localhost:80\r\n\r\n", "127.0.0.1", 80);
  const auto state = nlohmann::json::parse(ex.reply.substr(ex.reply.find("\r\n\r\n") + 4));
  EXPECT_EQ(state["history"].size(), 11u);
  EXPECT_EQ(state["reading"]["refresh"], 13);
  EXPECT_EQ(state["settings"]["cboir"], 3);
  EXPECT_EQ(state["controlWord"], panel.ControlWord().DataField());
  EXPECT_EQ(state["accesses"].size(), 36u);
}

}  // namespace
}  // namespace vx
