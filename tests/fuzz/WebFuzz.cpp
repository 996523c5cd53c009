// Bytes from a browser into the web panel, through the conversation that the server's
// connections run (its parser, limits and framing rules), over the simulated board. Every reply
// is HTTP/1.1 with a status the panel gives and no CORS header; a refusal is a JSON error and
// changes nothing; nothing reaches the port unless a pick or a read was taken; the link protocol
// is never broken; and afterwards the panel still answers and still takes a pick.
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "Fuzz.h"
#include "web/WebConversation.h"
#include "web/WebRig.h"

namespace {

namespace http = boost::beast::http;
using vx::fuzz::check;

// The panel's events, counted.
struct Events : vx::WebLink {
  int count = 0;
  void publish(const std::string&) override { ++count; }
  void schedule(std::chrono::milliseconds) override {}
};

// The reply parsed back; a reply to HEAD has its header's length but no body, and is marked so.
http::response<http::string_body> parseReply(const std::string& reply, bool& head) {
  for (const bool skip : {false, true}) {
    head = skip;
    http::response_parser<http::string_body> parser;
    parser.eager(true);
    parser.skip(skip);
    boost::system::error_code error;
    const auto used = parser.put(boost::asio::buffer(reply), error);
    if (!error && !parser.is_done()) parser.put_eof(error);
    if (!error && parser.is_done() && used == reply.size()) return parser.release();
  }
  check(false, "a reply is not well-formed HTTP");
  return {};
}

// Runs the bytes through a connection's conversation, as the server does, checking each reply and
// what it caused; gives how many were answered 200.
int serve(vx::test::WebRig& rig, const Events& events, std::string_view bytes) {
  static const std::set<unsigned> statuses{200, 400, 403, 404, 405, 413, 415, 431, 503};
  const vx::WebLimits limits;
  int streams = 1, taken = 0;
  vx::WebConversation talk(rig.web, limits, boost::asio::ip::make_address("127.0.0.1"), 8080,
                           [&streams] { return streams-- > 0; });
  std::streamoff before = rig.trace.tellp();
  int eventsBefore = events.count;
  vx::test::converse(talk, bytes, [&](const vx::WebConversation::Step& step) {
    const bool traffic = rig.trace.tellp() > before;
    before = rig.trace.tellp();
    check(!traffic || !step.reply.empty(), "port traffic without a reply");
    if (step.reply.empty()) return;
    bool head = false;
    const auto reply = parseReply(step.reply, head);
    const unsigned status = reply.result_int();
    check(reply.version() == 11 && statuses.contains(status), "a status the panel never gives");
    check(reply.find(http::field::access_control_allow_origin) == reply.end(),
          "a CORS header was sent");
    const bool isJson = reply[http::field::content_type] == "application/json" && !head;
    if (isJson) check(nlohmann::json::accept(reply.body()), "a JSON reply is not JSON");
    if (status != 200) {
      check(head || (isJson && nlohmann::json::parse(reply.body()).contains("error")),
            "a refusal without a JSON error");
      check(!traffic && events.count == eventsBefore, "a refused request sent or published");
    }
    // Only a command's reply, with a refresh of its own, comes after port traffic.
    if (traffic)
      check(status == 200 && isJson && !nlohmann::json::parse(reply.body()).contains("panel"),
            "port traffic other than that of a pick or read taken");
    if (reply.find(http::field::allow) != reply.end()) check(status == 405, "Allow without 405");
    eventsBefore = events.count;
    taken += status == 200;
  });
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Events events;  // outlives the panel that publishes to it
  vx::test::WebRig rig;
  rig.web.connect(events);
  serve(rig, events, std::string_view(reinterpret_cast<const char*>(data), size));
  check(rig.board.violations().empty(), "the link protocol was broken");
  check(
      serve(rig, events,
            "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n"
            "POST /api/pick HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nContent-Type: application/json\r\n"
            "Content-Length: 29\r\n\r\n{\"control\":\"cboir\",\"index\":3}") == 2 &&
          rig.panel.selected(vx::SelectionId::Range) == 3,
      "the panel stopped answering or taking picks");
  return 0;
}
