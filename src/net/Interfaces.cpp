#include "net/Interfaces.h"

#include <fmt/format.h>
#include <boost/asio/ip/address.hpp>

namespace vx::net {

std::string resourceString(const OpenInterface& open, const std::string& host) {
  switch (open.kind) {
    case InterfaceKind::ScpiRaw:
      return fmt::format("TCPIP::{}::{}::SOCKET", host, open.port);
    case InterfaceKind::Vxi11:
      return fmt::format("TCPIP::{}::INSTR", host);
    case InterfaceKind::Web:
      break;
  }
  return open.port == 80 ? fmt::format("http://{}/", host)
                         : fmt::format("http://{}:{}/", host, open.port);
}

namespace {
constexpr std::uint16_t kPortmapperPort = 111;
}  // namespace

std::string instanceName(const std::string& given, const std::string& host) {
  std::string name = given.empty() ? fmt::format("VX3340 evaluation board on {}", host) : given;
  constexpr std::size_t kMaxBytes = 63;
  if (name.size() > kMaxBytes) {
    std::size_t end = kMaxBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    name.resize(end);
  }
  return name;
}

std::vector<Service> announcements(const OpenInterfaces& open, const Identity& identity,
                                   const std::string& name) {
  const std::vector<std::string> txt{
      "txtvers=1", "Manufacturer=" + identity.manufacturer, "Model=" + identity.model,
      "SerialNumber=" + identity.serialNumber, "FirmwareVersion=" + identity.firmware};
  std::vector<Service> services;
  for (const OpenInterface& o : open) {
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(o.address, error);
    if (error || address.is_loopback()) continue;
    const auto add = [&](const char* type, std::uint16_t port) {
      services.push_back({name, type, port, txt, address.is_v4()});
    };
    switch (o.kind) {
      case InterfaceKind::ScpiRaw:
        add("_scpi-raw._tcp", o.port);
        break;
      case InterfaceKind::Vxi11:
        // VXI-11 clients start at the host's portmapper, which gives them the core channel.
        add("_vxi-11._tcp", kPortmapperPort);
        break;
      case InterfaceKind::Web:
        add("_lxi._tcp", o.port);
        add("_http._tcp", o.port);
        break;
    }
  }
  return services;
}

}  // namespace vx::net
