#pragma once

#include <memory>
#include <ostream>

#include "net/Announcer.h"

namespace vx {

// Announces through the system's own DNS-SD registration (DnsServiceRegister, Windows 10 and
// later), from dnsapi.dll bound at run time. Where the system has none, it says so in one line.
std::unique_ptr<Announcer> makeDnsAnnouncer(EventLoop& loop, std::ostream& log);

}  // namespace vx
