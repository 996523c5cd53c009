// The server shape: an error in one connection ends that connection with one line on the log, and
// the session goes on; the program's fatal error (a port failure) ends the loop, which throws it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "net/Listener.h"
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

// A loop with its log, and two clients for the server a test starts on it.
struct Server : ::testing::Test {
  std::ostringstream log;
  EventLoop loop{log, "vx3340ctl"};
  tcp::socket first{loop.context()}, second{loop.context()};
};

TEST_F(Server, AnErrorEndsItsConnectionAndAFatalOneTheLoop) {
  Listener server(loop, {"127.0.0.1", 0}, "test server", {});
  const std::exception_ptr errors[] = {std::make_exception_ptr(std::runtime_error("a bug")),
                                       std::make_exception_ptr(FatalError("the port went away"))};
  int made = 0;
  server.start(
      [&](tcp::socket socket) {
        return std::make_shared<Failing>(server, std::move(socket), errors[made++]);
      },
      "refused\n");
  first.connect(server.endpoint());
  second.connect(server.endpoint());
  EXPECT_THROW(loop.run(), FatalError);
  EXPECT_EQ(made, 2);
  EXPECT_THAT(log.str(),
              ::testing::MatchesRegex(
                  "vx3340ctl: dropped 127\\.0\\.0\\.1:[0-9]+: it ended on an error: a bug\n"));
  EXPECT_EQ(server.connections(), 0u);  // the loop's stop closed the second
}

// A refusal still under way when a fatal error stops the loop outlives its server: the loop's
// pending handlers hold it until the loop itself goes (AddressSanitizer sees a use after free).
TEST_F(Server, ARefusalOutlivesItsServerAfterAFatalError) {
  std::string refused(8, '\0');
  {
    Listener server(loop, {"127.0.0.1", 0}, "test server", {.maxConnections = 1});
    std::shared_ptr<tcp::socket> held;
    server.start(
        [&](tcp::socket socket) {
          held = std::make_shared<tcp::socket>(std::move(socket));
          return std::make_shared<Failing>(server, tcp::socket(loop.context()), nullptr);
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
}

}  // namespace
}  // namespace vx::net
