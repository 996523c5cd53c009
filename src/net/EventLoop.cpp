#include "net/EventLoop.h"

#include <fmt/format.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <vector>

#include "port/FatalError.h"

namespace vx::net {

struct EventLoop::State {
  State(std::ostream& stream, std::string program) : log(stream, std::move(program), io) {}
  boost::asio::io_context io;
  Log log;
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

EventLoop::EventLoop(std::ostream& log, std::string program)
    : state_(std::make_unique<State>(log, std::move(program))) {
  state_->signals.async_wait([state = state_.get()](boost::system::error_code error, int) {
    if (!error) state->stop();
  });
}

EventLoop::~EventLoop() = default;

boost::asio::io_context& EventLoop::context() {
  return state_->io;
}

Log& EventLoop::log() {
  return state_->log;
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

bool EventLoop::guard(const std::function<void()>& run,
                      const std::function<void(const std::exception* error)>& other) {
  try {
    run();
    return true;
  } catch (const FatalError&) {
    fail(std::current_exception());
  } catch (const std::exception& e) {
    other(&e);
  } catch (...) {
    other(nullptr);
  }
  return false;
}

void EventLoop::run() {
  // A handler that throws leaves the loop; the loop can be run again straight away.
  while (!guard([this] { state_->io.run(); },
                [this](const std::exception* e) {
                  log().say(e ? fmt::format("a connection ended on an error: {}", e->what())
                              : "a connection ended on an unknown error");
                })) {
    if (state_->error) break;
  }
  // A port failure stopped the loop with the closed connections' handlers still queued; they
  // hold the connections, so they run now, while the servers those refer to still exist (each
  // finds its connection ended and does nothing), rather than at the loop's destruction.
  if (state_->error) {
    state_->io.restart();
    guard([this] { state_->io.poll(); }, [](const std::exception*) {});
  }
  for (auto done = state_->afterStops.rbegin(); done != state_->afterStops.rend(); ++done) {
    try {
      (*done)();
    } catch (const std::exception& e) {
      log().say(fmt::format("ending a session failed: {}", e.what()));
    }
  }
  state_->afterStops.clear();
  if (state_->error) std::rethrow_exception(state_->error);
}

}  // namespace vx::net
