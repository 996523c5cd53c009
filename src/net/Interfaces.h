#pragma once

// The program's open network interfaces, listed once: runCtl builds the list from the listeners
// it opened, and both the announcements on the network and the web panel's identification
// document read it. Also what is announced for them.

#include <cstdint>
#include <string>
#include <vector>

#include "board/Identity.h"

namespace vx::net {

enum class InterfaceKind { ScpiRaw, Vxi11, Web };

// One listener: what it speaks, and the address and port it is bound to.
struct OpenInterface {
  InterfaceKind kind;
  std::string address;
  std::uint16_t port = 0;
};
using OpenInterfaces = std::vector<OpenInterface>;

// The VISA resource string that reaches an interface at host (a name, an IPv4 address, or an
// IPv6 address in brackets): TCPIP::host::5025::SOCKET, TCPIP::host::INSTR, or the web page's
// URL.
std::string resourceString(const OpenInterface& open, const std::string& host);

// One DNS-SD service to announce.
struct Service {
  std::string name;  // the instance name
  std::string type;  // "_scpi-raw._tcp"
  std::uint16_t port = 0;
  std::vector<std::string> txt;  // "key=value"
  bool ipv4Only = false;         // bound to an IPv4 address: not reachable over IPv6
  bool operator==(const Service&) const = default;
};

// The instance name the services are announced under: the one given, else "VX3340 evaluation
// board on HOST"; cut at a character's start to the 63 bytes that DNS-SD allows.
std::string instanceName(const std::string& given, const std::string& host);

// What is announced for the open interfaces: each interface that listens beyond loopback under
// its service types (the web page as _lxi._tcp and _http._tcp; VXI-11 at the portmapper's port
// 111, where its clients start), all under one instance name, with the TXT records that LXI
// tools read.
std::vector<Service> announcements(const OpenInterfaces& open, const Identity& identity,
                                   const std::string& name);

}  // namespace vx::net
