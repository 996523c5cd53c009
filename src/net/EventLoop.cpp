#include "net/EventLoop.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <vector>

#include "port/FatalError.h"

namespace vx {

struct EventLoop::State {
  explicit State(std::ostream& log) : log(log) {}
  std::ostream& log;
  boost::asio::io_context io;
  boost::asio::signal_set signals{io, SIGINT, SIGTERM};
  std::vector<std::function<void()>> stops;
  std::vector<std::function<void()>> afterStops;
  std::exception_ptr error;
  bool stopped = false;

  void stop() {
    if (stopped) return;
    stopped = true;
    // A second signal ends the process at once: the signals get their default action back.
    boost::system::error_code ignored;
    signals.cancel(ignored);
    signals.clear(ignored);
    for (const auto& s : stops) s();
  }
};

EventLoop::EventLoop(std::ostream& log) : state_(std::make_unique<State>(log)) {
  state_->signals.async_wait([state = state_.get()](boost::system::error_code error, int) {
    if (!error) state->stop();
  });
}

EventLoop::~EventLoop() = default;

boost::asio::io_context& EventLoop::context() {
  return state_->io;
}

void EventLoop::onStop(std::function<void()> stop) {
  state_->stops.push_back(std::move(stop));
}

void EventLoop::afterStop(std::function<void()> done) {
  state_->afterStops.push_back(std::move(done));
}

void EventLoop::fail(std::exception_ptr error) {
  if (!state_->error) state_->error = error;
  state_->stop();
  state_->io.stop();
}

void EventLoop::run() {
  // A handler that throws leaves the loop; the loop can be run again straight away.
  for (;;) {
    try {
      state_->io.run();
      break;
    } catch (const FatalError&) {
      fail(std::current_exception());
      break;
    } catch (const std::exception& e) {
      fmt::print(state_->log, "vx3340ctl: a connection ended on an error: {}\n", e.what());
      state_->log.flush();
    }
  }
  for (auto done = state_->afterStops.rbegin(); done != state_->afterStops.rend(); ++done) {
    try {
      (*done)();
    } catch (const std::exception& e) {
      fmt::print(state_->log, "vx3340ctl: ending a session failed: {}\n", e.what());
    }
  }
  state_->afterStops.clear();
  if (state_->error) std::rethrow_exception(state_->error);
}

}  // namespace vx
