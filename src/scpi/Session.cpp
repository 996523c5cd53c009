#include "scpi/Session.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>

#include "net/StreamConnection.h"

namespace vx {

namespace {

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool sameText(std::string_view a, std::string_view lowerCase) {
  if (a.size() != lowerCase.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if ((isLetter(a[i]) ? (a[i] | 0x20) : a[i]) != lowerCase[i]) return false;
  return true;
}
bool letters(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isLetter);
}

// The headers that every browser request carries, in lower case; a name ending in '-' stands
// for any name that goes on in letters.
constexpr std::string_view kBrowserHeaders[] = {
    "host",         "origin",         "referer",    "user-agent", "accept",  "accept-",
    "content-type", "content-length", "connection", "cookie",     "upgrade", "sec-fetch-"};

}  // namespace

bool looksLikeHttp(std::string_view line) {
  // A request line in any letter case: METHOD SP TARGET SP HTTP/VERSION. HTTP/2's connection
  // preface starts with one too ("PRI * HTTP/2.0").
  const auto first = line.find(' '), last = line.rfind(' ');
  if (first != std::string_view::npos && last > first + 1 && letters(line.substr(0, first)) &&
      line.substr(first + 1, last - first - 1).find(' ') == std::string_view::npos) {
    const auto version = line.substr(last + 1);
    if (version.size() > 5 && sameText(version.substr(0, 5), "http/") && version[5] >= '0' &&
        version[5] <= '9')
      return true;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  auto name = line.substr(0, colon);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (const std::string_view header : kBrowserHeaders) {
    if (header.back() != '-') {
      if (sameText(name, header)) return true;
    } else if (name.size() > header.size() && sameText(name.substr(0, header.size()), header) &&
               letters(name.substr(header.size()))) {
      return true;
    }
  }
  return false;
}

ScpiConnection::Fed ScpiConnection::feed(std::string_view bytes, ScpiInstrument& instrument,
                                         std::string& answers, std::size_t limit) {
  Fed fed;
  while (fed.used < bytes.size()) {
    const char byte = bytes[fed.used++];
    // A TLS record at the start of a connection: a handshake, whose names may hide a line.
    if (refuseHttp_ && seen_ < 2) {
      if (seen_++ == 0) {
        first_ = byte;
      } else if (first_ == 0x16 && byte == 0x03) {
        fed.http = true;
        break;
      }
    }
    const auto event = framer_.feed(byte);
    if (!event) continue;
    if (event->kind == LineFramer::Event::TooLong) {
      client_.error(-223, "Too much data");
    } else if (event->kind == LineFramer::Event::NotText) {
      client_.error(-101, "Invalid character");
    } else if (refuseHttp_ && looksLikeHttp(event->line)) {
      fed.http = true;
      break;
    } else if (const auto answer = instrument.execute(event->line, client_)) {
      answers += *answer + "\n";
      if (answers.size() >= limit) break;
    }
  }
  return fed;
}

std::string ScpiConnection::feed(std::string_view bytes, ScpiInstrument& instrument) {
  std::string answers;
  feed(bytes, instrument, answers, std::string::npos);
  return answers;
}

void serveStream(std::istream& in, std::ostream& out, ScpiInstrument& instrument) {
  ScpiConnection connection;
  std::streambuf& bytes = *in.rdbuf();
  for (int c = bytes.sbumpc(); c != std::char_traits<char>::eof(); c = bytes.sbumpc()) {
    const char byte = static_cast<char>(c);
    out << connection.feed(std::string_view(&byte, 1), instrument);
    if (byte == '\n') out.flush();
  }
}

namespace {

// One client on TCP: its own error queue and line framing; answers go out in order. Its lines run
// only while fewer than maxUnsent bytes of its answers wait to be sent; past that, reading stops
// until they drain, and a client that stays past it for stallLimit is dropped.
class TcpClient final : public net::StreamConnection {
 public:
  TcpClient(net::Listener& listener, net::tcp::socket socket, ScpiInstrument& instrument,
            const SessionLimits& limits)
      : StreamConnection(listener, std::move(socket), limits.maxUnsent, limits.stallLimit,
                         "answers"),
        instrument_(instrument) {}

  void start() override {
    net::keepAlive(socket());
    read();
  }

 private:
  void received(std::string_view bytes) override {
    if (bytes.find('\n') != std::string_view::npos) commanded();
    unread_.append(bytes);
    process();
  }

  // Runs the lines read so far while the answers waiting stay under the cap; then reads on, or
  // waits for the answers to drain.
  void process() {
    bool http = false;
    const bool ran = guard([&] {
      while (!unread_.empty() && !full() && !http) {
        std::string answers;
        const auto fed = scpi_.feed(unread_, instrument_, answers, room());
        unread_.erase(0, fed.used);
        if (!answers.empty()) send(std::move(answers));
        http = fed.http;
      }
    });
    if (!ran) return;
    if (http)
      return end(
          "it sent an HTTP request or a TLS handshake, as a web page in a browser can make it "
          "do; nothing more from it runs");
    if (!full()) {
      if (!reading()) read();
      return;
    }
    // Over the cap: read nothing more until the answers drain; drop a client that never reads.
    stall();
  }
  void drained() override { process(); }

  ScpiInstrument& instrument_;
  ScpiConnection scpi_{true};
  std::string unread_;  // bytes read but not yet run
};

}  // namespace

struct TcpSession::State {
  State(net::EventLoop& loop, const net::ListenAddress& at, SessionLimits limits)
      : limits(limits),
        listener(loop, at, "SCPI session",
                 {.maxConnections = limits.maxClients, .firstCommand = limits.firstLine}) {}
  SessionLimits limits;
  net::Listener listener;
};

TcpSession::TcpSession(net::EventLoop& loop, const net::ListenAddress& where, SessionLimits limits)
    : state_(std::make_unique<State>(loop, where, limits)) {}

TcpSession::~TcpSession() = default;

net::ListenAddress TcpSession::bound() const {
  return state_->listener.bound();
}

void TcpSession::start(ScpiInstrument& instrument) {
  State& s = *state_;
  s.listener.start(
      [&s, &instrument](net::tcp::socket socket) {
        return std::make_shared<TcpClient>(s.listener, std::move(socket), instrument, s.limits);
      },
      s.listener.log().line(fmt::format(
          "refused: this session already serves {} clients, the most it takes; close one and "
          "connect again",
          s.limits.maxClients)));
  s.listener.sayListening(s.listener.hostAndPort());
}

}  // namespace vx
