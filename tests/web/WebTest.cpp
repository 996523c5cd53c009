// The web panel's requests, short of the socket: what each is answered and what reaches the port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>

#include "support/Support.h"
#include "web/WebRig.h"
#include "web/WebServer.h"

namespace vx {
namespace {

struct WebTest : ::testing::Test, test::WebRig {};

// Twelve reads a minute apart come first, so the state shows a history cut to ten minutes. Then
// web-requests.in holds one request a line ("|" for CR LF, the address reached in front); the
// transcript gives each one's request line, its status and error, what a state it returns says
// (history points, last refresh, range, control word, accesses) or the rows of a CSV, then the
// port traffic it caused.
// Every refusal sends nothing; a pick sends the window's pick, a read the Read button's.
TEST_F(WebTest, RequestsAndWhatReachesThePort) {
  for (int i = 0; i < 12; ++i, now += 60'000) panel.cmdRead_Click();
  trace.str({});
  std::vector<std::string> transcript;
  for (const std::string& line : test::expected("web-requests.in")) {
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.find(' '), colon = line.rfind(':', space);
    const std::string bytes = std::regex_replace(line.substr(space + 1), std::regex("\\|"), "\r\n");
    const auto ex = exchange(web, bytes, line.substr(0, colon),
                             static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1, space))));
    transcript.push_back("> " + bytes.substr(0, bytes.find('\r')));
    const auto head = ex.reply.substr(0, ex.reply.find('\r'));
    const std::string body = ex.reply.substr(ex.reply.find("\r\n\r\n") + 4);
    const auto json = nlohmann::json::parse(body, nullptr, false);
    transcript.push_back("< " + head + (json.contains("error") ? " " + json["error"].dump() : ""));
    if (json.contains("history"))
      transcript.push_back(
          fmt::format("  state: {} points, refresh {}, cboir {}, 0x{:02X}, {} accesses, flags {}",
                      json["history"].size(), json["reading"]["refresh"].dump(),
                      json["settings"]["cboir"].dump(), json["controlWord"].get<int>(),
                      json["accesses"].size(), json["reading"]["flags"].dump()));
    if (ex.reply.find("Content-Type: text/csv") != std::string::npos)
      for (const std::string& row : test::lines(std::regex_replace(body, std::regex("\r\n"), "\n")))
        transcript.push_back("  " + row);
    for (const std::string& access : test::lines(trace.str())) transcript.push_back("  " + access);
    trace.str({});
  }
  EXPECT_THAT(transcript, ::testing::ElementsAreArray(test::expected("web-requests.expected")));
}

}  // namespace
}  // namespace vx
