// What is announced for the open interfaces, and how a client reaches each: every kind's service
// types and resource string, loopback left out, one instance name, the TXT records LXI tools read;
// the name given or the usual one, cut to DNS-SD's 63 bytes between characters.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/Interfaces.h"

namespace vx::net {
namespace {

TEST(Announcements, EachInterfaceBeyondLoopbackUnderItsTypes) {
  const OpenInterfaces open{
      {InterfaceKind::ScpiRaw, "0.0.0.0", 5025}, {InterfaceKind::Vxi11, "192.168.1.5", 1024},
      {InterfaceKind::Web, "::", 8080},          {InterfaceKind::ScpiRaw, "127.0.0.1", 5026},
      {InterfaceKind::Web, "::1", 8081},         {InterfaceKind::Vxi11, "127.0.0.2", 1025}};
  std::vector<std::string> seen;
  const std::string usual = instanceName("", "bench-pc");
  for (const Service& s : announcements(open, {"Maker", "Model", "SN1", "1.2"}, usual))
    seen.push_back(fmt::format("{} | {} {} {} | {}", s.name, s.type, s.port,
                               s.ipv4Only ? "IPv4" : "any", fmt::join(s.txt, " ")));
  const std::string txt =
      "txtvers=1 Manufacturer=Maker Model=Model SerialNumber=SN1 FirmwareVersion=1.2";
  const std::string name = "VX3340 evaluation board on bench-pc | ";
  EXPECT_THAT(seen, ::testing::ElementsAre(name + "_scpi-raw._tcp 5025 IPv4 | " + txt,
                                           name + "_vxi-11._tcp 111 IPv4 | " + txt,
                                           name + "_lxi._tcp 8080 any | " + txt,
                                           name + "_http._tcp 8080 any | " + txt));
  EXPECT_THAT(announcements({open.begin() + 3, open.end()}, {}, usual), ::testing::IsEmpty());
}

TEST(Announcements, InstanceNameGivenOrUsualWithinSixtyThreeBytes) {
  EXPECT_EQ(instanceName("VX3340 bench A", "pc"), "VX3340 bench A");
  EXPECT_EQ(instanceName("", std::string(40, 'h')),
            "VX3340 evaluation board on " + std::string(36, 'h'));
  // é at bytes 63 and 64: cut before it.
  EXPECT_EQ(instanceName(std::string(62, 'g') + "\xc3\xa9", "pc"), std::string(62, 'g'));
  EXPECT_EQ(instanceName(std::string(70, '\x80'), "pc"), "");  // no character starts: none kept
}

}  // namespace
}  // namespace vx::net
