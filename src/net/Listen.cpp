#include "net/Listen.h"

#include <fmt/format.h>
#include <boost/asio/ip/address.hpp>

#include <charconv>
#include <string_view>

namespace vx::net {

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
  ListenAddress where;
  std::string_view port = text;
  const auto colon = text.rfind(':');
  if (colon != std::string::npos) {
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
      host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
      return std::nullopt;  // an IPv6 address needs its brackets
    boost::system::error_code error;
    boost::asio::ip::make_address(host, error);
    if (error) return std::nullopt;
    where.address = host;
    port.remove_prefix(colon + 1);
  }
  unsigned number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || number > 65535)
    return std::nullopt;
  where.port = static_cast<std::uint16_t>(number);
  return where;
}

bool isLoopback(const ListenAddress& where) {
  return boost::asio::ip::make_address(where.address).is_loopback();
}

std::string hostAndPort(const std::string& address, std::uint16_t port) {
  return address.find(':') != std::string::npos ? fmt::format("[{}]:{}", address, port)
                                                : fmt::format("{}:{}", address, port);
}

boost::asio::ip::address unmapped(boost::asio::ip::address address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
  return address;
}

}  // namespace vx::net
