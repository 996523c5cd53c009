#pragma once

// The front panel for web browsers, without the network: the page and its API as requests and
// replies, the state as JSON, the flag history, the last refresh's lines and the poller's
// setting. WebServer carries it over HTTP; it touches the board only through the FrontPanel.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "board/FrontPanel.h"
#include "net/Interfaces.h"
#include "port/LineRecorder.h"

namespace vx {

// An HTTP request, as far as the panel reads it.
struct WebRequest {
  std::string method;
  std::string target;
  std::string host;         // the Host header
  std::string origin;       // the Origin header, when there is one
  std::string fetchSite;    // the Sec-Fetch-Site header, when there is one
  std::string contentType;  // the Content-Type header
  std::string body;
  std::string local;      // the address the client reached, as a Host header writes it
  bool loopback = false;  // whether that address is loopback
};

struct WebReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  bool events = false;     // GET /api/events was allowed: the connection becomes an event stream
  std::string allow = {};  // with 405: the methods the target takes
};

// What the panel needs from the network: its event streams, and a timer for the poller.
class WebLink {
 public:
  virtual ~WebLink() = default;
  // Sends one event to every event stream.
  virtual void publish(const std::string& event) = 0;
  // Calls WebPanel::poll every interval from now on; zero stops it.
  virtual void schedule(std::chrono::milliseconds interval) = 0;
};

class WebPanel : public LineListener {
 public:
  // Milliseconds since the Unix epoch, for the history's time axis.
  using Clock = std::function<std::int64_t()>;
  static constexpr std::size_t kHistoryPoints = 6000;  // ten minutes at the fastest poll
  static constexpr std::int64_t kHistoryMs = 10 * 60 * 1000;
  static constexpr int kFastestPollMs = 100, kSlowestPollMs = 60000;

  // Watches the panel's refreshes and the recorder's lines from here on.
  WebPanel(FrontPanel& panel, LineRecorder& lines, Clock now);
  ~WebPanel() override;
  WebPanel(const WebPanel&) = delete;
  WebPanel& operator=(const WebPanel&) = delete;

  void connect(WebLink& link) { link_ = &link; }
  // The program's open interfaces, for GET /lxi/identification: each one the client can reach
  // gets its VISA resource string there.
  void identify(net::OpenInterfaces open) { open_ = std::move(open); }
  // Serves the page and runs the API. A request that is refused changes nothing and sends
  // nothing to the port. A port that went away (PortGoneError) answers 503 with the reason, and
  // the state says the board is disconnected until a command reaches it again; any other
  // run-time error from the port is not caught. (HEAD comes as GET: the server leaves the body
  // off.)
  WebReply handle(const WebRequest& request);
  // The first event of a new stream: the whole state.
  std::string firstEvent() const;
  // One refresh, as Read does: the poller's tick.
  void poll();
  // A recorder stopped because its file cannot be written: the state says so from now on.
  void recorderStopped(const std::string& why) {
    stopped_.push_back(why);
    changed();
  }

  void onAccess(const LineAccess& access) override { pending_.push_back(access); }

 private:
  struct Point {
    std::int64_t time;
    std::uint8_t flagByte;
  };
  WebReply api(const WebRequest& request, const std::string& path);
  WebReply command(const std::string& path, const nlohmann::ordered_json& body);
  void refreshed(const FlagReading& reading);
  // The state as JSON text; whole, it also holds the page's lists and the history.
  std::string state(bool whole) const;
  std::string historyCsv() const;
  std::string identification(const WebRequest& request) const;
  void changed();

  FrontPanel& panel_;
  LineRecorder& lines_;
  std::size_t refreshKey_ = 0;  // this panel among the front panel's listeners
  Clock now_;
  WebLink* link_ = nullptr;
  net::OpenInterfaces open_;
  std::vector<LineAccess> pending_;  // the accesses of the refresh under way
  std::vector<LineAccess> last_;     // those of the last whole refresh
  std::deque<Point> history_;
  std::uint64_t refreshes_ = 0;
  int pollMs_ = 0;
  std::vector<std::string> stopped_;  // why each stopped recorder stopped
};

}  // namespace vx
