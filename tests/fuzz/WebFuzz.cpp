// Bytes from a browser into the web panel, through the server's own HTTP parser and limits, over
// the simulated board, one request after another while the connection would stay open. Every
// reply is HTTP/1.1 with a status the panel gives and no CORS header; a refusal is a JSON error;
// nothing reaches the port unless a pick or a read was taken; the link protocol is never broken;
// and afterwards the panel still answers and still takes a pick.
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "Fuzz.h"
#include "board/FrontPanel.h"
#include "port/LineRecorder.h"
#include "port/Port.h"
#include "port/SimulatedBoard.h"
#include "web/WebServer.h"

namespace {

namespace http = boost::beast::http;
using vx::fuzz::check;

struct Counter : vx::LineListener, vx::WebLink {
  int accesses = 0;
  int events = 0;
  void onAccess(const vx::LineAccess&) override { ++accesses; }
  void publish(const std::string& event) override {
    ++events;
    check(nlohmann::json::accept(event), "an event is not JSON");
  }
  void schedule(std::chrono::milliseconds) override {}
};

// The reply parsed back; its status.
http::response<http::string_body> parseReply(const std::string& reply) {
  http::response_parser<http::string_body> parser;
  parser.eager(true);
  parser.body_limit(16 * 1024 * 1024);
  boost::system::error_code error;
  parser.put(boost::asio::buffer(reply), error);
  if (!error && !parser.is_done()) parser.put_eof(error);
  check(!error && parser.is_done(), "a reply is not well-formed HTTP");
  return parser.release();
}

bool takes(std::string_view request) {
  return request.starts_with("POST /api/pick") || request.starts_with("POST /api/read");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vx::SimulatedBoard board;
  vx::LineRecorder lines(board, vx::fixedStepClock());
  vx::Port port(lines);
  port.setPortBase(vx::SimulatedBoard::kBase);
  vx::FrontPanel panel(port);
  Counter counter;
  lines.listen(counter);
  vx::WebPanel web(panel, lines, [] { return std::int64_t{1'700'000'000'000}; });
  web.connect(counter);

  static const std::set<unsigned> statuses{200, 400, 403, 404, 405, 413, 415};
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  while (!bytes.empty()) {
    const int before = counter.accesses, eventsBefore = counter.events;
    const auto ex = vx::exchange(web, bytes, "127.0.0.1", 8080);
    const std::string_view request = bytes.substr(0, ex.used);
    if (ex.reply.empty()) {
      check(counter.accesses == before, "a request the server drops reached the port");
      break;
    }
    const auto reply = parseReply(ex.reply);
    const unsigned status = reply.result_int();
    check(reply.version() == 11 && statuses.contains(status), "a status the panel never gives");
    check(reply.find(http::field::access_control_allow_origin) == reply.end(),
          "a CORS header was sent");
    const bool isJson = reply[http::field::content_type] == "application/json";
    if (isJson) check(nlohmann::json::accept(reply.body()), "a JSON reply is not JSON");
    if (status != 200) {
      check(isJson && nlohmann::json::parse(reply.body()).contains("error"),
            "a refusal without a JSON error");
      check(counter.accesses == before && counter.events == eventsBefore,
            "a refused request changed something");
    } else if (takes(request)) {
      check(counter.accesses > before && counter.events > eventsBefore,
            "a pick or read taken did not refresh the board");
    } else {
      check(counter.accesses == before, "a request that is not a pick or a read reached the port");
    }
    if (!ex.keepAlive || ex.used == 0) break;
    bytes.remove_prefix(ex.used);
  }
  check(board.violations().empty(), "the link protocol was broken");

  const std::string host = "Host: 127.0.0.1:8080\r\n";
  const std::string body = R"({"control":"cboir","index":3})";
  const auto state =
      vx::exchange(web, "GET /api/state HTTP/1.1\r\n" + host + "\r\n", "127.0.0.1", 8080);
  check(parseReply(state.reply).result_int() == 200, "the panel stopped answering");
  const auto pick = vx::exchange(web,
                                 "POST /api/pick HTTP/1.1\r\n" + host +
                                     "Content-Type: application/json\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body,
                                 "127.0.0.1", 8080);
  check(parseReply(pick.reply).result_int() == 200 && panel.selected(vx::SelectionId::Range) == 3,
        "the panel stopped taking picks");
  lines.forget(counter);
  return 0;
}
