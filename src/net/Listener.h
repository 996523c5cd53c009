#pragma once

// The one shape of the program's network servers (the SCPI session, the web panel, VXI-11's two
// channels): a listener that binds, accepts in a loop that backs off instead of stopping, keeps a
// registry of connections with a cap, makes room under pressure by ending the connection that
// has been quiet longest, refuses with a reason and does not linger, says where it listens, and
// stops in one path. StreamConnection.h gives the connections their socket.

#include <boost/asio.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "net/EventLoop.h"
#include "net/Listen.h"

namespace vx::net {

using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

class Listener;
class Refusal;

// One client's connection as its listener keeps it. Derived classes own the transport and give
// shut(); everything they run for the client goes through guard().
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  virtual ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  virtual void start() = 0;
  // Ends the connection at once and leaves the registry; says why on the log unless why is
  // empty. Later calls do nothing.
  void end(const std::string& why = {});
  bool ended() const { return ended_; }

  // Since when it has made no progress, and whether the listener may end it to make room for a
  // new client (an event stream, say, may not).
  Clock::time_point quietSince() const { return quietSince_; }
  bool reclaimable() const { return reclaimable_; }
  // Starts the time the client has to send its first whole command: it is closed when that
  // passes first. The listener calls it for each new connection when its admission asks for it.
  void awaitFirstCommand(std::chrono::milliseconds limit);

 protected:
  Connection(Listener& listener, const tcp::socket& socket);
  // Closes the transport and cancels the connection's timers. Called once, by end().
  virtual void shut() = 0;
  void progressed() { quietSince_ = Clock::now(); }
  // The client's first whole command came: it keeps its slot from now on, however quiet it is.
  void commanded();
  void setReclaimable(bool yes) { reclaimable_ = yes; }
  Listener& listener() { return listener_; }
  // Runs what the client asked for, through the loop's guard: the program's fatal error (a port
  // failure) ends the whole session; any other exception ends only this connection, with a line
  // on the log. Returns whether it ran through.
  bool guard(const std::function<void()>& run);

 private:
  Listener& listener_;
  std::string address_;  // the client's address, without its port
  std::string peer_;
  Clock::time_point quietSince_ = Clock::now();
  bool reclaimable_ = true;
  bool ended_ = false;
  bool commanded_ = false;
  boost::asio::steady_timer firstCommand_;
};

// Whom a listener takes, and how.
struct Admission {
  std::size_t maxConnections = 8;
  // Whether a new client may take the slot of the connection that has been quiet longest when
  // every slot is taken; otherwise it is refused.
  bool reclaim = false;
  // How long accept waits before it tries again after running out of descriptors or memory.
  std::chrono::milliseconds acceptBackoff{100};
  // Refusals under way at once; past that, a new client is closed without a word.
  std::size_t maxRefusing = 16;
  // How long a new client may take to send its first whole command (a line, a record); one that
  // takes longer is closed, so that clients that never speak cannot hold every slot. Zero: no
  // limit (the web panel, which reclaims slots instead).
  std::chrono::milliseconds firstCommand{0};
};

class Listener {
 public:
  using Make = std::function<std::shared_ptr<Connection>(tcp::socket)>;

  // Listens from here on (std::system_error when it cannot), so that an address that cannot be
  // used stops the program before anything reaches the port. what names it on the log ("SCPI
  // session").
  Listener(EventLoop& loop, const ListenAddress& where, std::string what, Admission admission);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Accepts until the loop stops: make builds each connection; a client that finds no slot gets
  // refusal, written with a short deadline, and is closed.
  void start(Make make, std::string refusal);
  // Says on the log that it listens ("SCPI session on 127.0.0.1:5025", at saying where), and
  // warns when that is not loopback: anyone who can reach it can drive the board.
  void sayListening(std::string_view at);

  // The address and port it is bound to (the port the system picked for port 0), and as a URL
  // writes them.
  tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  ListenAddress bound() const;
  std::string hostAndPort() const;
  EventLoop& loop() { return loop_; }
  boost::asio::io_context& io() { return loop_.context(); }
  Log& log() { return loop_.log(); }
  std::size_t connections() const { return connections_.size(); }
  // Takes a connection off the registry; Connection::end calls it.
  void forget(Connection& connection);
  // A client at address sent no whole command in time: said at most once a minute for each
  // address, as many such connections would otherwise fill the log.
  void closedSilent(const std::string& address);
  // Closes the listener and every connection.
  void stop();

 private:
  void accept();
  void accepted(tcp::socket socket);
  bool makeRoom();
  void refuse(tcp::socket socket);

  EventLoop& loop_;
  tcp::acceptor acceptor_;
  ListenAddress where_;
  std::string what_;
  Admission admission_;
  Make make_;
  std::string refusal_;
  std::set<std::shared_ptr<Connection>> connections_;
  std::set<Refusal*> refusing_;
  boost::asio::steady_timer backoff_;
  Clock::time_point lastAcceptWarning_{};
  std::map<std::string, Clock::time_point> silentSaid_;  // when each address was last said
  bool stopped_ = false;
};

// Asks the system to probe an idle connection, so that a peer that vanished without a word
// frees its slot within minutes.
void keepAlive(tcp::socket& socket);

}  // namespace vx::net
