#pragma once

// The one shape of the program's network servers (the SCPI session, the web panel): an accept
// loop that backs off instead of stopping, a registry of connections with a cap, room made under
// pressure by ending the connection that has been quiet longest, refusals that say why and do
// not linger, and one stop path.

#include <boost/asio.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "net/EventLoop.h"
#include "net/Listen.h"

namespace vx::net {

using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

class Server;
class Refusal;

// One client's connection as its server keeps it. Derived classes own the transport and give
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

  // Since when it has made no progress, and whether the server may end it to make room for a
  // new client (an event stream, say, may not).
  Clock::time_point quietSince() const { return quietSince_; }
  bool reclaimable() const { return reclaimable_; }
  const std::string& peer() const { return peer_; }
  // Starts the time the client has to send its first whole command: it is closed when that
  // passes first. The server calls it for each new connection when its limits ask for it.
  void awaitFirstCommand(std::chrono::milliseconds limit);

 protected:
  Connection(Server& server, const tcp::socket& socket);
  // Closes the transport and cancels the connection's timers. Called once, by end().
  virtual void shut() = 0;
  void progressed() { quietSince_ = Clock::now(); }
  // The client's first whole command came: it keeps its slot from now on, however quiet it is.
  void commanded();
  void setReclaimable(bool yes) { reclaimable_ = yes; }
  Server& server() { return server_; }

  // Runs what the client asked for. The program's fatal error (a port failure) ends the whole
  // session; any other exception ends only this connection, with a line on the log. Returns
  // whether it ran through.
  template <class F>
  bool guard(F&& run) {
    try {
      run();
      return true;
    } catch (...) {
      failed(std::current_exception());
      return false;
    }
  }

 private:
  void failed(std::exception_ptr error);

  Server& server_;
  std::string address_;  // the client's address, without its port
  std::string peer_;
  Clock::time_point quietSince_ = Clock::now();
  bool reclaimable_ = true;
  bool ended_ = false;
  bool commanded_ = false;
  boost::asio::steady_timer firstCommand_;
};

struct ServerLimits {
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

class Server {
 public:
  using Make = std::function<std::shared_ptr<Connection>(tcp::socket)>;

  // Listens from here on (std::system_error when it cannot), so that an address that cannot be
  // used stops the program before anything reaches the port. what names it on the log ("SCPI
  // session").
  Server(EventLoop& loop, const ListenAddress& where, std::string what, ServerLimits limits);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Accepts until the loop stops: make builds each connection; a client that finds no slot gets
  // refusal, written with a short deadline, and is closed. log takes the server's lines.
  void start(std::ostream& log, Make make, std::string refusal);

  tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  boost::asio::io_context& io() { return loop_.context(); }
  std::size_t connections() const { return connections_.size(); }
  // One line on the log, prefixed with the program's name.
  void say(const std::string& line);
  // The program's fatal error: ends every session; the loop's run() throws it.
  void fail(std::exception_ptr error) { loop_.fail(error); }
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
  std::string what_;
  ServerLimits limits_;
  std::ostream* log_ = nullptr;
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
