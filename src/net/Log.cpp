#include "net/Log.h"

#include <fmt/format.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

namespace vx::net {

Log::Log(std::ostream& stream, std::string program, boost::asio::io_context& io)
    : stream_(stream), program_(std::move(program)), io_(io) {}

std::string Log::line(std::string_view text) const {
  return fmt::format("{}: {}\n", program_, text);
}

void Log::say(std::string_view text) {
  stream_ << line(text);
  stream_.flush();
}

void Log::post(std::string text) {
  boost::asio::post(io_, [this, text = std::move(text)] { say(text); });
}

}  // namespace vx::net
