#pragma once

// Where a network server listens: the address a user gives, and how a URL writes it.

#include <boost/asio/ip/address.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace vx::net {

// Where a session listens: an IP address and a port. "5025" is 127.0.0.1:5025; IPv6 addresses
// go in brackets ("[::1]:5025"). Empty when the text is not one.
struct ListenAddress {
  std::string address = "127.0.0.1";
  std::uint16_t port = 0;
};
std::optional<ListenAddress> parseListenAddress(const std::string& text);
bool isLoopback(const ListenAddress& where);

// "127.0.0.1:5025", or "[::1]:5025" for IPv6: as a URL and an HTTP Host header write it.
std::string hostAndPort(const std::string& address, std::uint16_t port);

// An IPv4 address as an IPv6 socket gives it (::ffff:a.b.c.d), as IPv4; any other as it is.
boost::asio::ip::address unmapped(boost::asio::ip::address address);

}  // namespace vx::net
