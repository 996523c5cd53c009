// The server shape: an error in one connection ends that connection with one line on the log, and
// the session goes on; the program's fatal error (a port failure) ends the loop, which throws it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "net/Listener.h"
#include "net/StreamConnection.h"
#include "port/FatalError.h"

namespace vx::net {
namespace {

// Whether a server still stood when its last connection went.
struct Standing {
  bool serving = true, wentFirst = false;
};

// A connection whose start raises error, if there is one. Otherwise it reads until its client
// leaves and sends size bytes as fast as its outbox takes them: it is behind whenever the outbox
// is full, and goes on once it drains.
struct Pouring : StreamConnection {
  Pouring(Listener& listener, tcp::socket socket, Standing& standing, std::size_t size,
          std::exception_ptr error = nullptr)
      : StreamConnection(listener, std::move(socket), 1024, std::chrono::seconds(10), "answers"),
        standing_(standing),
        left_(size),
        error_(error) {}
  ~Pouring() override { standing_.wentFirst = standing_.serving; }
  void start() override {
    if (error_) guard([this] { std::rethrow_exception(error_); });
    if (!error_) read(), drained();
  }
  void drained() override {
    for (; left_ > 0 && !full(); left_ -= 256) send(std::string(256, 'x'));
    if (full()) stall();
  }
  Standing& standing_;
  std::size_t left_;
  std::exception_ptr error_;
};

// A loop with its log, and three clients for the server a test starts on it.
struct Server : ::testing::Test {
  Standing standing;
  std::ostringstream log;
  EventLoop loop{log, "vx3340ctl"};
  tcp::socket first{loop.context()}, second{loop.context()}, third{loop.context()};
  // What server makes of each client: a connection that pours size bytes.
  Listener::Make pouring(Listener& server, std::size_t size) {
    return [&, size](tcp::socket s) {
      return std::make_shared<Pouring>(server, std::move(s), standing, size);
    };
  }
  // Stops the loop as a port failure does.
  void fail() { loop.fail(std::make_exception_ptr(FatalError("the port went away"))); }
};

// The first connection cannot even be made; the listener takes the next ones all the same.
TEST_F(Server, AnErrorEndsItsConnectionAndAFatalOneTheLoop) {
  Listener server(loop, {"127.0.0.1", 0}, "test server", {});
  const std::exception_ptr errors[] = {std::make_exception_ptr(std::runtime_error("no memory")),
                                       std::make_exception_ptr(std::runtime_error("a bug")),
                                       std::make_exception_ptr(FatalError("the port went away"))};
  int made = 0;
  server.start(
      [&](tcp::socket socket) {
        if (made == 0) std::rethrow_exception(errors[made++]);
        return std::make_shared<Pouring>(server, std::move(socket), standing, 0, errors[made++]);
      },
      "refused\n");
  for (tcp::socket* client : {&first, &second, &third}) client->connect(server.endpoint());
  EXPECT_THROW(loop.run(), FatalError);
  EXPECT_EQ(made, 3);
  EXPECT_THAT(log.str(),
              ::testing::MatchesRegex(
                  "vx3340ctl: a connection ended on an error: no memory\n"
                  "vx3340ctl: dropped 127\\.0\\.0\\.1:[0-9]+: it ended on an error: a bug\n"));
  EXPECT_EQ(server.connections(), 0u);  // the loop's stop closed the last
}

// A client that falls behind gets all once it catches up (or the deadline ends the loop).
TEST_F(Server, AClientBehindIsServedAgainOnceItCatchesUp) {
  Listener server(loop, {"127.0.0.1", 0}, "test server", {});
  server.start(pouring(server, 1 << 20), "");
  first.connect(server.endpoint());
  std::string got;
  boost::asio::async_read(first, boost::asio::dynamic_buffer(got),
                          boost::asio::transfer_exactly(1 << 20), [this](auto...) { fail(); });
  boost::asio::steady_timer deadline(loop.context(), std::chrono::seconds(20));
  deadline.async_wait([this](auto) { fail(); });
  EXPECT_THROW(loop.run(), FatalError);
  EXPECT_EQ(got.size(), 1u << 20);
}

// A connection with a read under way and a refusal still talking when a fatal error stops the
// loop: both go before their server (they hold it; AddressSanitizer sees a use after free).
TEST_F(Server, WhatAFatalErrorStopsGoesBeforeItsServer) {
  std::string refused(8, '\0');
  {
    Listener server(loop, {"127.0.0.1", 0}, "test server", {.maxConnections = 1});
    // Sets serving false as this block ends, before the server goes.
    const std::shared_ptr<bool> ending(&standing.serving, [](bool* s) { *s = false; });
    server.start(pouring(server, 0), "refused\n");
    first.connect(server.endpoint());
    second.connect(server.endpoint());
    boost::asio::async_read(second, boost::asio::buffer(refused.data(), refused.size()),
                            [this](auto...) { fail(); });
    EXPECT_THROW(loop.run(), FatalError);
  }
  EXPECT_EQ(refused, "refused\n");
  EXPECT_TRUE(standing.wentFirst);
}

}  // namespace
}  // namespace vx::net
