#include "vxi11/Vxi11Server.h"

#include <fmt/format.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "net/StreamConnection.h"

namespace vx::vxi11 {

namespace {

namespace asio = boost::asio;

using Clock = std::chrono::steady_clock;
// How long one call to the portmapper may take while the session starts, and all of them at the
// end, so that the program ends within a second of SIGTERM.
constexpr std::chrono::milliseconds kCallTime{2000}, kExitTime{900};

class ChannelConnection;
// The connections whose call waits for the lock.
using Waiting = std::set<std::shared_ptr<ChannelConnection>>;

// One client on either channel: its bytes into its conversation, the replies out in order. While
// its call waits for the lock, or its replies wait unsent past the cap, nothing more is read.
class ChannelConnection final : public net::StreamConnection {
 public:
  ChannelConnection(net::Listener& listener, net::tcp::socket socket, Device& device,
                    const ServerLimits& limits, Waiting& waiting, Conversation::Channel channel)
      : StreamConnection(listener, std::move(socket), limits.maxUnsent, limits.stallLimit,
                         "replies"),
        limits_(limits),
        waiting_(waiting),
        talk_(device, channel) {}

  void start() override {
    net::keepAlive(socket());
    read();
  }

  // The lock may be free now, or the waiting call aborted.
  void resume() {
    if (!ended()) take([this] { return talk_.resume(); });
  }

 private:
  void closing() override { waiting_.erase(self<ChannelConnection>()); }
  void received(std::string_view bytes) override {
    take([&] { return talk_.feed(bytes); });
  }

  // Runs a step of the conversation, sends what it answers, then sets the deadlines and reads on
  // if nothing holds it back.
  void take(const std::function<Conversation::Out()>& step) {
    Conversation::Out out;
    if (!guard([&] { out = step(); })) return;
    if (talk_.called()) commanded();
    if (!out.replies.empty()) send(std::move(out.replies));
    if (out.close) return end(out.why);
    if (const auto wait = talk_.waiting()) {
      if (waiting_.insert(self<ChannelConnection>()).second)
        after(wait_, *wait, [this] {
          waiting_.erase(self<ChannelConnection>());
          take([this] { return talk_.expire(); });
        });
      return;
    }
    if (waiting_.erase(self<ChannelConnection>())) wait_.cancel();
    if (!talk_.midRecord()) {
      record_.cancel();
      recordTimed_ = false;
    } else if (!recordTimed_) {
      recordTimed_ = true;
      after(record_, limits_.recordTime, [this] {
        end(fmt::format("it sent part of a record and nothing more for {} ms",
                        limits_.recordTime.count()));
      });
    }
    if (full()) return stall();
    if (!reading()) read();
  }

  void drained() override {
    if (!talk_.waiting() && !reading()) read();
  }

  const ServerLimits& limits_;
  Waiting& waiting_;
  Conversation talk_;
  asio::steady_timer& record_ = timer();  // the deadline of the record under way
  asio::steady_timer& wait_ = timer();    // the waiting call's time
  bool recordTimed_ = false;
};

// What a channel admits.
net::Admission admission(const ServerLimits& limits) {
  return {.maxConnections = limits.maxConnections, .firstCommand = limits.firstRecord};
}

}  // namespace

struct Vxi11Server::State {
  State(net::EventLoop& loop, const net::ListenAddress& at, std::unique_ptr<Portmapper> portmapper,
        ServerLimits limits)
      : loop(loop),
        limits(limits),
        core(loop, at, "VXI-11 session", admission(limits)),
        abort(loop, {at.address, 0}, "VXI-11 abort channel", admission(limits)),
        portmapper(std::move(portmapper)) {}
  net::EventLoop& loop;
  ServerLimits limits;
  // Before the listeners: their connections' links leave the device as they go.
  std::unique_ptr<Device> device;
  Waiting waiting;
  net::Listener core;
  net::Listener abort;
  std::unique_ptr<Portmapper> portmapper;
  Mapping ours;
  std::thread registering;
  bool registered = false;  // set by registering; read once it has been joined
  bool stopping = false;

  // Registers the core channel with the portmapper, off the loop: each call waits 2 s at most.
  // A live VXI-11 server's entry is left alone; a stale one, whose port does not answer, is
  // taken if rpcbind lets this user. The lines to say, if any.
  std::string enrol() {
    const auto within = [] { return Clock::now() + kCallTime; };
    try {
      Mapping there = portmapper->lookup(kCoreProgram, kVersion, within());
      if (there.port != 0) {
        if (there.port != ours.port && portmapper->answers(there, kCoreProgram, kVersion, within()))
          return fmt::format(
              "VXI-11: another copy serves VXI-11 at port {} and holds the portmapper's entry, so "
              "VISA's TCPIP::host::INSTR reaches that one; this session leaves the entry alone "
              "and serves on port {} unregistered",
              there.port, ours.port);
        if (!portmapper->unset(kCoreProgram, kVersion, within())) return refused(there);
      }
      registered = portmapper->set(kCoreProgram, kVersion, ours, within());
      return registered ? "" : refused(portmapper->lookup(kCoreProgram, kVersion, within()));
    } catch (const std::exception& e) {
      return fmt::format(
          "VXI-11: {}, so VISA cannot find the session at TCPIP::host::INSTR; it serves on port "
          "{} anyway",
          e.what(), ours.port);
    }
  }
  std::string refused(const Mapping& there) const {
    return fmt::format(
        "VXI-11: the portmapper (rpcbind) refused to register the session: another user's "
        "program ({}) holds the entry for VXI-11, at port {}, so VISA's TCPIP::host::INSTR is "
        "sent there; that user or root can remove it (rpcinfo -d {} {}); this session serves on "
        "port {} unregistered",
        there.owner == "superuser" ? "root" : "user " + there.owner, there.port, kCoreProgram,
        kVersion, ours.port);
  }

  // Once the loop has stopped: the registration under way ends at once, and the entry this
  // session set, if it is still there, goes, waiting under a second.
  void unregister() {
    portmapper->interrupt();
    if (registering.joinable()) registering.join();
    portmapper->resume();
    if (!std::exchange(registered, false)) return;
    // On a thread too: libtirpc holds every signal back while it waits, and a second signal ends
    // the program at once.
    std::thread([this] {
      const auto deadline = Clock::now() + kExitTime;
      try {
        const Mapping there = portmapper->lookup(kCoreProgram, kVersion, deadline);
        if (there.port == ours.port && there.address == ours.address)
          portmapper->unset(kCoreProgram, kVersion, deadline);
      } catch (const std::exception& e) {
        loop.log().say(fmt::format(
            "VXI-11: {}; the session's entry stays there until another session takes it",
            e.what()));
      }
    }).join();
  }
};

Vxi11Server::Vxi11Server(net::EventLoop& loop, const net::ListenAddress& where,
                         std::unique_ptr<Portmapper> portmapper, ServerLimits limits)
    : state_(std::make_unique<State>(loop, where, std::move(portmapper), limits)) {}

net::ListenAddress Vxi11Server::bound() const {
  return state_->core.bound();
}

Vxi11Server::~Vxi11Server() {
  state_->unregister();  // when the loop never ran
}

void Vxi11Server::start(ScpiInstrument& instrument) {
  State& s = *state_;
  s.device = std::make_unique<Device>(instrument, s.limits.protocol);
  s.device->setAbortPort(s.abort.bound().port);
  // A lock set free or a link aborted: the calls that wait are tried again, after the call that
  // did it has been answered.
  s.device->changed = [&s] {
    asio::post(s.core.io(), [&s] {
      for (const auto& c : Waiting(s.waiting)) c->resume();
    });
  };
  for (const auto& each : {std::pair{&s.core, Conversation::Channel::Core},
                           std::pair{&s.abort, Conversation::Channel::Abort}}) {
    // An RPC client takes no text: a client that finds no slot is closed at once. (Named copies,
    // not the pair's bindings, go into the lambda: clang before 16 cannot capture a binding.)
    net::Listener* listener = each.first;
    const Conversation::Channel channel = each.second;
    listener->start(
        [&s, listener, channel](net::tcp::socket socket) {
          return std::make_shared<ChannelConnection>(*listener, std::move(socket), *s.device,
                                                     s.limits, s.waiting, channel);
        },
        std::string());
  }
  // The portmapper is asked on a thread of its own, so that the sessions answer however long
  // rpcbind takes. The line that says where it listens comes once rpcbind has answered: a client
  // that reads it finds the session there.
  const auto at = s.core.endpoint();
  s.ours = {at.address().is_v4() ? at.address().to_string() : "0.0.0.0", at.port()};
  const auto listening =
      fmt::format("{} (abort channel on port {})", s.core.hostAndPort(), s.abort.bound().port);
  s.registering = std::thread([&s, listening] {
    const std::string outcome = s.enrol();
    asio::post(s.core.io(), [&s, listening, outcome] {
      if (s.stopping) return;
      s.core.sayListening(listening);
      if (!outcome.empty()) s.loop.log().say(outcome);
    });
  });
  s.loop.onStop([&s] {
    s.stopping = true;
    s.portmapper->interrupt();
  });
  // The entry goes once the loop has stopped: that waits on rpcbind.
  s.loop.afterStop([&s] { s.unregister(); });
}

}  // namespace vx::vxi11
