#include "web/WebPanel.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <boost/asio/ip/address.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <iterator>

#include "board/Identity.h"
#include "board/Selections.h"
#include "forms/Forms.h"
#include "net/Listen.h"
#include "port/FatalError.h"
#include "web/Page.h"

namespace vx {

namespace {

using json = nlohmann::ordered_json;

// The message may quote what the client sent, which need not be UTF-8.
WebReply refused(int status, const std::string& message) {
  return {status, "application/json",
          json{{"error", message}}.dump(-1, ' ', false, json::error_handler_t::replace)};
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "host:port", with port 80 written out when the header leaves it off.
std::string withPort(std::string host) {
  if (host.find(':') == std::string::npos || host.back() == ']') host += ":80";
  return lower(host);
}

// A browser page on this PC can be made to talk to a loopback server under another name (DNS
// rebinding): only the address listened on, or localhost on loopback, is taken.
bool hostAllowed(const WebRequest& r) {
  const std::string host = withPort(r.host), local = withPort(r.local);
  if (host == local) return true;
  return r.loopback && host == "localhost" + local.substr(local.rfind(':'));
}

// Whether another site's page made the browser send it: its Origin is not ours, or the browser
// says it comes from another site.
bool fromOtherSite(const WebRequest& r) {
  const bool otherSite =
      !r.fetchSite.empty() && r.fetchSite != "same-origin" && r.fetchSite != "none";
  return (!r.origin.empty() && r.origin != "http://" + r.host) || otherSite;
}

std::string mediaType(const std::string& contentType) {
  std::string type = contentType.substr(0, contentType.find(';'));
  type.erase(type.find_last_not_of(" \t") + 1);
  return lower(type);
}

// The selections in the window's focus order.
std::vector<const Selection*> windowOrder() {
  std::vector<const forms::Control*> controls;
  for (const forms::Control& c : forms::kMainForm)
    if (c.tab > 0) controls.push_back(&c);
  std::sort(controls.begin(), controls.end(),
            [](const forms::Control* a, const forms::Control* b) { return a->tab < b->tab; });
  std::vector<const Selection*> order;
  for (const forms::Control* c : controls)
    for (const Selection& s : kSelections)
      if (s.control == c->name) order.push_back(&s);
  return order;
}

// What the page draws its controls, register map and wire view from: the selection table, the
// flag and line names.
json panelJson() {
  json selections = json::array();
  for (const Selection* s : windowOrder()) {
    json items = json::array();
    for (const Choice& c : s->choices) items.push_back(c.item);
    selections.push_back({{"control", s->control},
                          {"caption", s->caption},
                          {"field", s->field},
                          {"register", s->reg == BoardRegister::AuxWord ? "aux" : "control"},
                          {"mask", s->mask},
                          {"checkBox", s->checkBox},
                          {"items", items}});
  }
  std::string read;
  for (const forms::Control& c : forms::kMainForm)
    if (c.name == "cmdRead") read = c.text;
  return {{"title", forms::kMainCaption},
          {"read", read},
          {"selections", selections},
          {"aux", json::array({{{"field", kAux1Field}, {"mask", word::kAux1}},
                               {{"field", kAux2Field}, {"mask", word::kAux2}}})},
          {"flags", kFlagNames},
          {"lines", kLineNames}};
}

std::string xmlEscaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Whether a client that reached the address local can reach an interface too: it listens there,
// on every address of that family, or both are loopback.
bool reachable(const net::OpenInterface& open, const std::string& local) {
  boost::system::error_code e1, e2;
  const auto bound = boost::asio::ip::make_address(open.address, e1);
  const auto reached = boost::asio::ip::make_address(local, e2);
  if (e1 || e2) return false;
  return bound == reached || (bound.is_unspecified() && (bound.is_v6() || reached.is_v4())) ||
         (bound.is_loopback() && reached.is_loopback());
}

}  // namespace

WebPanel::WebPanel(FrontPanel& panel, LineRecorder& lines, Clock now)
    : panel_(panel), lines_(lines), now_(std::move(now)) {
  lines_.listen(*this);
  refreshKey_ = panel_.onRefresh([this](const FlagReading& reading) { refreshed(reading); });
}

WebPanel::~WebPanel() {
  panel_.forgetRefresh(refreshKey_);
  lines_.forget(*this);
}

WebReply WebPanel::handle(const WebRequest& r) {
  if (!hostAllowed(r))
    return refused(403, fmt::format("the Host header must be {}{}", r.local,
                                    r.loopback ? " or localhost with its port" : ""));
  const std::string path = r.target.substr(0, r.target.find('?'));
  const auto only = [&r](const char* method, const char* allow) {
    WebReply no = refused(405, fmt::format("use {}", method));
    no.allow = allow;
    return r.method == method ? std::nullopt : std::optional<WebReply>(no);
  };
  for (const PageFile& file : kPageFiles)
    if (path == file.path)
      return only("GET", "GET, HEAD")
          .value_or(WebReply{200, std::string(file.type), std::string(file.text)});
  if (path == "/api/history.csv")
    return only("GET", "GET, HEAD")
        .value_or(WebReply{200, "text/csv; charset=utf-8", historyCsv()});
  if (path == "/lxi/identification")
    return only("GET", "GET, HEAD")
        .value_or(WebReply{200, "text/xml; charset=utf-8", identification(r)});
  if (path == "/api/state" || path == "/api/events") {
    if (auto no = only("GET", "GET, HEAD")) return *no;
    if (path == "/api/state") return {200, "application/json", state(true)};
    // An event stream takes a slot, so another site's page may not open one either.
    if (fromOtherSite(r)) return refused(403, "a request from another site's page is refused");
    return {200, "text/event-stream", "", true};
  }
  if (path == "/api/pick" || path == "/api/read" || path == "/api/poll") {
    if (auto no = only("POST", "POST")) return *no;
    return api(r, path);
  }
  return refused(404, "no such page: " + path);
}

// The commands: each one is checked whole before it touches the board.
WebReply WebPanel::api(const WebRequest& r, const std::string& path) {
  if (fromOtherSite(r)) return refused(403, "a request from another site's page is refused");
  if (mediaType(r.contentType) != "application/json")
    return refused(415, "send the body as application/json");
  const json body = r.body.empty() ? json::object() : json::parse(r.body, nullptr, false);
  if (body.is_discarded() || !body.is_object())
    return refused(400, "the body is not a JSON object");

  try {
    return command(path, body);
  } catch (const PortGoneError& e) {
    // The board is gone for now: the pages show it, and the next command claims it again.
    changed();
    return refused(503, e.what());
  }
}

WebReply WebPanel::command(const std::string& path, const json& body) {
  if (path == "/api/read") {
    panel_.cmdRead_Click();
  } else if (path == "/api/poll") {
    const auto interval = body.find("interval");
    if (interval == body.end() || !interval->is_number_integer() ||
        (*interval != 0 && (*interval < kFastestPollMs || *interval > kSlowestPollMs)))
      return refused(400, fmt::format("\"interval\" must be 0 (stop) or {} to {} milliseconds",
                                      kFastestPollMs, kSlowestPollMs));
    pollMs_ = interval->get<int>();
    if (link_) link_->schedule(std::chrono::milliseconds(pollMs_));
    changed();
  } else {
    const auto control = body.find("control");
    const auto index = body.find("index");
    std::vector<std::string_view> names;
    for (const Selection& s : kSelections) names.push_back(s.control);
    const auto s = control == body.end() || !control->is_string()
                       ? kSelections.end()
                       : std::find_if(kSelections.begin(), kSelections.end(),
                                      [&](const Selection& s) { return s.control == *control; });
    if (s == kSelections.end())
      return refused(400, fmt::format("\"control\" must be one of {}", fmt::join(names, ", ")));
    const int last = static_cast<int>(s->choices.size()) - 1;
    if (index == body.end() || !index->is_number_integer() || *index < 0 || *index > last)
      return refused(400, fmt::format("\"index\" must be 0 to {} for {}", last, s->control));
    panel_.select(s->id, index->get<int>());
  }
  return {200, "application/json", state(false)};
}

// The LXI identification document: who the instrument is, and a VISA resource string for each
// open interface the client can reach, under the name it reached this page by (its Host, which
// the Host rule has checked).
std::string WebPanel::identification(const WebRequest& r) const {
  const Identity id = instrumentIdentity();
  const auto reached = net::parseListenAddress(r.local);
  std::string host = r.host.substr(0, r.host.back() == ']' ? r.host.size() : r.host.rfind(':'));
  const std::string page = fmt::format("http://{}/", r.host);
  std::string interfaces;
  for (const net::OpenInterface& open : open_) {
    if (!reached || !reachable(open, reached->address)) continue;
    interfaces += fmt::format(
        "  <Interface InterfaceType=\"LXI\" InterfaceName=\"{}\">\n"
        "    <InstrumentAddressString>{}</InstrumentAddressString>\n  </Interface>\n",
        open.kind == net::InterfaceKind::ScpiRaw ? "SCPI raw socket"
        : open.kind == net::InterfaceKind::Vxi11 ? "VXI-11"
                                                 : "web page",
        xmlEscaped(net::resourceString(open, host)));
  }
  return fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<LXIDevice xmlns=\"http://www.lxistandard.org/InstrumentIdentification/1.0\">\n"
      "  <Manufacturer>{}</Manufacturer>\n  <Model>{}</Model>\n"
      "  <SerialNumber>{}</SerialNumber>\n  <FirmwareRevision>{}</FirmwareRevision>\n"
      "  <ManufacturerDescription>VX3340 evaluation board: forces a voltage or a current and "
      "reads six status flags</ManufacturerDescription>\n"
      "  <HomepageURL>{}</HomepageURL>\n  <DriverURL>{}</DriverURL>\n"
      "  <IdentificationURL>{}lxi/identification</IdentificationURL>\n{}"
      "  <Domain>0</Domain>\n  <LXIVersion>1.4</LXIVersion>\n</LXIDevice>\n",
      xmlEscaped(id.manufacturer), xmlEscaped(id.model), xmlEscaped(id.serialNumber),
      xmlEscaped(id.firmware), xmlEscaped(page), xmlEscaped(page), xmlEscaped(page), interfaces);
}

// One row a read, oldest first: the time (UTC, ISO 8601, in ms), the six flags and the byte, as
// READ? gives them.
std::string WebPanel::historyCsv() const {
  std::string csv = fmt::format("time,{},byte\r\n", fmt::join(kFlagNames, ","));
  for (const Point& p : history_) {
    fmt::format_to(std::back_inserter(csv), "{:%Y-%m-%dT%H:%M:%S}.{:03}Z",
                   fmt::gmtime(static_cast<std::time_t>(p.time / 1000)), p.time % 1000);
    for (std::size_t i = 0; i < kFlagNames.size(); ++i)
      fmt::format_to(std::back_inserter(csv), ",{}", (p.flagByte >> i) & 1);
    fmt::format_to(std::back_inserter(csv), ",{}\r\n", p.flagByte);
  }
  return csv;
}

void WebPanel::poll() {
  try {
    panel_.cmdRead_Click();
  } catch (const PortGoneError&) {
    changed();
  }
}

std::string WebPanel::firstEvent() const {
  return state(true);
}

void WebPanel::refreshed(const FlagReading& reading) {
  last_ = std::move(pending_);
  pending_.clear();
  ++refreshes_;
  history_.push_back({now_(), reading.flagByte});
  while (history_.size() > kHistoryPoints ||
         history_.front().time < history_.back().time - kHistoryMs)
    history_.pop_front();
  changed();
}

void WebPanel::changed() {
  if (link_) link_->publish(state(false));
}

std::string WebPanel::state(bool whole) const {
  json j;
  if (whole) j["panel"] = panelJson();
  j["controlWord"] = panel_.ControlWord().DataField();
  j["auxWord"] = panel_.AuxWord().DataField();
  json settings;
  for (const Selection& s : kSelections) settings[std::string(s.control)] = panel_.selected(s.id);
  j["settings"] = settings;
  j["poll"] = pollMs_;
  j["connected"] = !panel_.disconnected();
  j["disconnected"] = panel_.lost().value_or("");
  j["reading"] = nullptr;
  if (!history_.empty()) {
    const Point& p = history_.back();
    json flags;
    for (std::size_t i = 0; i < kFlagNames.size(); ++i)
      flags[std::string(kFlagNames[i])] = (p.flagByte >> i) & 1;
    j["reading"] = {
        {"refresh", refreshes_}, {"time", p.time}, {"byte", p.flagByte}, {"flags", flags}};
  }
  json accesses = json::array();
  for (const LineAccess& a : last_)
    accesses.push_back({{"time", a.time},
                        {"address", a.address},
                        {"read", a.read},
                        {"value", a.value},
                        {"levels", std::string(a.levels.begin(), a.levels.end())}});
  j["accesses"] = accesses;
  if (!stopped_.empty()) j["recordersStopped"] = stopped_;
  if (whole) {
    json history = json::array();
    for (const Point& p : history_) history.push_back({p.time, p.flagByte});
    j["history"] = history;
  }
  return j.dump(-1, ' ', false, json::error_handler_t::replace);  // a path need not be UTF-8
}

}  // namespace vx
