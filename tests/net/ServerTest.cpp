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

// A connection whose client's first command raises error (none: it stays).
struct Failing : Connection {
  Failing(Listener& listener, tcp::socket socket, std::exception_ptr error)
      : Connection(listener, socket), socket_(std::move(socket)), error_(error) {}
  void start() override {
    if (error_) guard([this] { std::rethrow_exception(error_); });
  }
  void shut() override { socket_.close(); }
  tcp::socket socket_;
  std::exception_ptr error_;
};

// A connection that reads until its client leaves, and notes whether its server still stood when
// it went.
struct Reading : StreamConnection {
  Reading(Listener& listener, tcp::socket socket, const bool& serving, bool& wentFirst)
      : StreamConnection(listener, std::move(socket), 64, std::chrono::seconds(1), "answers"),
        serving_(serving),
        wentFirst_(wentFirst) {}
  ~Reading() override { wentFirst_ = serving_; }
  void start() override { read(); }
  void drained() override {}
  const bool& serving_;
  bool& wentFirst_;
};

// A loop with its log, and three clients for the server a test starts on it.
struct Server : ::testing::Test {
  std::ostringstream log;
  EventLoop loop{log, "vx3340ctl"};
  tcp::socket first{loop.context()}, second{loop.context()}, third{loop.context()};
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
        return std::make_shared<Failing>(server, std::move(socket), errors[made++]);
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

// A connection with a read under way and a refusal still talking when a fatal error stops the
// loop: both go before their server (they hold it; AddressSanitizer sees a use after free).
TEST_F(Server, WhatAFatalErrorStopsGoesBeforeItsServer) {
  std::string refused(8, '\0');
  bool serving = true, wentFirst = false;
  {
    Listener server(loop, {"127.0.0.1", 0}, "test server", {.maxConnections = 1});
    // Sets serving false as this block ends, before the server goes.
    const std::shared_ptr<bool> standing(&serving, [](bool* s) { *s = false; });
    server.start(
        [&](tcp::socket socket) {
          return std::make_shared<Reading>(server, std::move(socket), serving, wentFirst);
        },
        "refused\n");
    first.connect(server.endpoint());
    second.connect(server.endpoint());
    boost::asio::async_read(second, boost::asio::buffer(refused.data(), refused.size()),
                            [&](auto, std::size_t) {
                              loop.fail(std::make_exception_ptr(FatalError("the port went away")));
                            });
    EXPECT_THROW(loop.run(), FatalError);
  }
  EXPECT_EQ(refused, "refused\n");
  EXPECT_TRUE(wentFirst);
}

}  // namespace
}  // namespace vx::net
