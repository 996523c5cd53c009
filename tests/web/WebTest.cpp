// The web panel's requests, short of the socket: what each is answered and what reaches the port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>

#include "support/Support.h"
#include "web/WebRig.h"

namespace vx {
namespace {

struct WebTest : ::testing::Test, test::WebRig {};

// Twelve reads a minute apart come first, so the state shows a history cut to ten minutes. Then
// web-requests.in holds one connection a line ("|" for CR LF, the address reached in front, and
// how many more event streams may open); the transcript gives each request line, each reply's
// status and error (and Allow), what a state it returns says (history points, last refresh,
// range, control word, accesses) or the rows of a CSV, whether the server closes after a reply,
// then the port traffic it caused. Every refusal sends nothing; a pick sends the window's pick, a
// read the Read button's.
TEST_F(WebTest, RequestsAndWhatReachesThePort) {
  // A second panel that goes stops listening: the reads reach only the first (the sanitized build
  // sees a use after free where they still reach it).
  std::make_unique<WebPanel>(panel, lines, [this] { return now; }).reset();
  for (int i = 0; i < 12; ++i, now += 60'000) panel.cmdRead_Click();
  web.identify({{net::InterfaceKind::ScpiRaw, "0.0.0.0", 5025},
                {net::InterfaceKind::Vxi11, "127.0.0.1", 1024},
                {net::InterfaceKind::Web, "0.0.0.0", 8080}});
  trace.str({});
  std::vector<std::string> transcript;
  const WebLimits limits;
  for (const std::string& line : test::expected("web-requests.in")) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string address, bytes;
    std::uint16_t reached = 0;
    int streams = 0;
    fields >> address >> reached >> streams >> std::ws;
    std::getline(fields, bytes);
    bytes = std::regex_replace(bytes, std::regex("\\|"), "\r\n");
    for (std::smatch m; std::regex_search(bytes, m, std::regex("\\{(\\d+)\\*(.)\\}"));)
      bytes.replace(m.position(), m.length(), std::string(std::stoul(m[1]), m.str(2)[0]));
    WebConversation talk(web, limits, boost::asio::ip::make_address(address), reached,
                         [&streams] { return streams-- > 0; });
    transcript.push_back("> " + bytes.substr(0, std::min<std::size_t>(bytes.find('\r'), 80)));
    test::converse(talk, bytes, [&](const WebConversation::Step& step) {
      if (!step.reply.empty()) {
        const auto head = step.reply.substr(0, step.reply.find('\r'));
        const auto body = step.reply.substr(step.reply.find("\r\n\r\n") + 4);
        const auto json = nlohmann::json::parse(body, nullptr, false);
        std::smatch allow;
        std::regex_search(step.reply, allow, std::regex("\r\n(Allow: [^\r]*)"));
        transcript.push_back(
            "< " + head + (json.contains("error") ? " " + json["error"].dump() : "") +
            (allow.empty() ? "" : " " + allow.str(1)) + (body.empty() ? " (no body)" : ""));
        if (json.contains("history"))
          transcript.push_back(fmt::format(
              "  state: {} points, refresh {}, cboir {}, 0x{:02X}, {} accesses, flags {}",
              json["history"].size(), json["reading"]["refresh"].dump(),
              json["settings"]["cboir"].dump(), json["controlWord"].get<int>(),
              json["accesses"].size(), json["reading"]["flags"].dump()));
        if (std::regex_search(step.reply, std::regex("\r\nContent-Type: text/(csv|xml)")))
          for (const auto& row : test::lines(std::regex_replace(body, std::regex("\r\n"), "\n")))
            transcript.push_back("  " + row);
      }
      if (step.stream) transcript.push_back("  an event stream");
      if (step.close && !step.reply.empty())
        transcript.push_back(step.reply.find("\r\nConnection: close\r\n") != std::string::npos
                                 ? "  closed, as its reply says"
                                 : "  closed without a word");
    });
    for (const std::string& access : test::lines(trace.str())) transcript.push_back("  " + access);
    trace.str({});
  }
  EXPECT_THAT(transcript, ::testing::ElementsAreArray(test::expected("web-requests.expected")));
}

}  // namespace
}  // namespace vx
