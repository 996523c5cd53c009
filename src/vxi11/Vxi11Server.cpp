#include "vxi11/Vxi11Server.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <boost/asio.hpp>

#include <array>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "net/Outbox.h"
#include "net/Server.h"

namespace vx::vxi11 {

namespace {

namespace asio = boost::asio;
using boost::system::error_code;
using tcp = asio::ip::tcp;

using Clock = std::chrono::steady_clock;
// How long one call to the portmapper may take while the session starts, and all of them at the
// end, so that the program ends within a second of SIGTERM.
constexpr std::chrono::milliseconds kCallTime{2000}, kExitTime{900};

class Connection;

struct Shared {
  net::Server& server;
  Device& device;
  const ServerLimits& limits;
  std::set<std::shared_ptr<Connection>>& waiting;  // connections whose call waits for the lock
};

// One client on either channel: its bytes into its conversation, the replies out in order. While
// its call waits for the lock, or its replies wait unsent past the cap, nothing more is read.
class Connection final : public net::Connection, private net::Outbox<Connection> {
 public:
  Connection(tcp::socket socket, Shared& shared, Conversation::Channel channel)
      : net::Connection(shared.server, socket),
        Outbox(shared.server.io(), shared.limits.maxUnsent, shared.limits.stallLimit),
        socket_(std::move(socket)),
        shared_(shared),
        talk_(shared.device, channel),
        record_(shared.server.io()),
        wait_(shared.server.io()) {}

  void start() override {
    net::keepAlive(socket_);
    read();
  }

  // The lock may be free now, or the waiting call aborted.
  void resume() {
    if (!ended()) take([this] { return talk_.resume(); });
  }

 private:
  std::shared_ptr<Connection> shared() {
    return std::static_pointer_cast<Connection>(shared_from_this());
  }
  void shut() override {
    stopStallTimer();
    record_.cancel();
    wait_.cancel();
    shared_.waiting.erase(shared());
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

  void read() {
    reading_ = true;
    socket_.async_read_some(
        asio::buffer(buffer_), [self = shared()](error_code error, std::size_t n) {
          self->reading_ = false;
          if (self->ended()) return;
          if (error) return self->end();  // the client left; a call half-sent is lost
          self->progressed();
          self->take([&] { return self->talk_.feed(std::string_view(self->buffer_.data(), n)); });
        });
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
      if (shared_.waiting.insert(shared()).second) {
        wait_.expires_after(*wait);
        wait_.async_wait([self = shared()](error_code error) {
          if (error || self->ended()) return;
          self->shared_.waiting.erase(self);
          self->take([&] { return self->talk_.expire(); });
        });
      }
      return;
    }
    if (shared_.waiting.erase(shared())) wait_.cancel();
    if (!talk_.midRecord()) {
      record_.cancel();
      recordTimed_ = false;
    } else if (!recordTimed_) {
      recordTimed_ = true;
      record_.expires_after(shared_.limits.recordTime);
      record_.async_wait([self = shared()](error_code error) {
        if (error || self->ended()) return;
        self->end(fmt::format("it sent part of a record and nothing more for {} ms",
                              self->shared_.limits.recordTime.count()));
      });
    }
    if (full()) return stall();
    if (!reading_) read();
  }

  friend class net::Outbox<Connection>;
  tcp::socket& stream() { return socket_; }
  void writeFailed(error_code error) {
    end(fmt::format("writing to it failed: {}", error.message()));
  }
  void drained() {
    if (!talk_.waiting() && !reading_) read();
  }
  void stalledTooLong() {
    end(fmt::format("it read none of its replies for {} ms", shared_.limits.stallLimit.count()));
  }

  tcp::socket socket_;
  Shared& shared_;
  Conversation talk_;
  asio::steady_timer record_;  // the deadline of the record under way
  asio::steady_timer wait_;    // the waiting call's time
  bool recordTimed_ = false;
  std::array<char, 4096> buffer_{};
  bool reading_ = false;
};

net::ServerLimits serverLimits(const ServerLimits& limits) {
  return {.maxConnections = limits.maxConnections, .firstCommand = limits.firstRecord};
}

}  // namespace

struct Vxi11Server::State {
  State(EventLoop& loop, const ListenAddress& at, std::unique_ptr<Portmapper> portmapper,
        ServerLimits limits)
      : loop(loop),
        limits(limits),
        core(loop, at, "VXI-11 session", serverLimits(limits)),
        abort(loop, {at.address, 0}, "VXI-11 abort channel", serverLimits(limits)),
        where(at),
        portmapper(std::move(portmapper)) {}
  EventLoop& loop;
  ServerLimits limits;
  // Before the servers: their connections' links leave the device as they go.
  std::unique_ptr<Device> device;
  std::set<std::shared_ptr<Connection>> waiting;
  std::unique_ptr<Shared> coreShared, abortShared;
  net::Server core;
  net::Server abort;
  ListenAddress where;
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
        core.say(fmt::format(
            "VXI-11: {}; the session's entry stays there until another session takes it",
            e.what()));
      }
    }).join();
  }
};

Vxi11Server::Vxi11Server(EventLoop& loop, const ListenAddress& where,
                         std::unique_ptr<Portmapper> portmapper, ServerLimits limits)
    : state_(std::make_unique<State>(loop, where, std::move(portmapper), limits)) {}

ListenAddress Vxi11Server::bound() const {
  const auto at = state_->core.endpoint();
  return {at.address().to_string(), at.port()};
}

Vxi11Server::~Vxi11Server() {
  state_->unregister();  // when the loop never ran
}

void Vxi11Server::start(ScpiInstrument& instrument, std::ostream& log) {
  State& s = *state_;
  s.device = std::make_unique<Device>(instrument, s.limits.protocol);
  s.device->setAbortPort(s.abort.endpoint().port());
  // A lock set free or a link aborted: the calls that wait are tried again, after the call that
  // did it has been answered.
  s.device->changed = [&s] {
    asio::post(s.core.io(), [&s] {
      for (const auto& c : std::set(s.waiting)) c->resume();
    });
  };
  s.coreShared = std::make_unique<Shared>(Shared{s.core, *s.device, s.limits, s.waiting});
  s.abortShared = std::make_unique<Shared>(Shared{s.abort, *s.device, s.limits, s.waiting});
  const auto refusal = std::string();  // an RPC client takes no text: it is closed at once
  s.core.start(
      log,
      [&s](tcp::socket socket) {
        return std::make_shared<Connection>(std::move(socket), *s.coreShared,
                                            Conversation::Channel::Core);
      },
      refusal);
  s.abort.start(
      log,
      [&s](tcp::socket socket) {
        return std::make_shared<Connection>(std::move(socket), *s.abortShared,
                                            Conversation::Channel::Abort);
      },
      refusal);
  // The portmapper is asked on a thread of its own, so that the sessions answer however long
  // rpcbind takes. The line that says where it listens comes once rpcbind has answered: a client
  // that reads it finds the session there.
  const auto at = s.core.endpoint();
  s.ours = {at.address().is_v4() ? at.address().to_string() : "0.0.0.0", at.port()};
  const auto listening =
      fmt::format("VXI-11 session on {} (abort channel on port {})",
                  hostAndPort(at.address().to_string(), at.port()), s.abort.endpoint().port());
  s.registering = std::thread([&s, &log, listening] {
    const std::string outcome = s.enrol();
    asio::post(s.core.io(), [&s, &log, listening, outcome] {
      if (s.stopping) return;
      announce(log, listening, s.where);
      if (!outcome.empty()) s.core.say(outcome);
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
