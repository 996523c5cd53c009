#pragma once

// Announces services on the local network through the system's own mDNS responder (Avahi on
// Linux, DnsServiceRegister on Windows). Each platform folder makes the real one; tests use a
// double.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "net/EventLoop.h"
#include "net/Interfaces.h"

namespace vx {

class Announcer {
 public:
  virtual ~Announcer() = default;  // withdraws what it published
  // Publishes the services until the announcer goes. What happens later (the responder gone, a
  // name taken and replaced) is said once on the log.
  virtual void publish(const std::vector<Service>& services) = 0;
};

// Makes a platform's announcer. Its lines reach log through loop, between commands; a system
// without a responder says so once there and publishes nothing.
using MakeAnnouncer = std::function<std::unique_ptr<Announcer>(EventLoop& loop, std::ostream& log)>;

// Says "vx3340ctl: LINE" on log from the event loop's thread, between commands, as the sessions'
// own lines go: a responder's callbacks come on a thread of their own.
void sayOnLoop(boost::asio::io_context& io, std::ostream& log, std::string line);

// Where the system offers no responder: says in one line on log, when there is something to
// announce, that announcing is not available, and why.
std::unique_ptr<Announcer> unavailableAnnouncer(std::ostream& log, std::string why);

}  // namespace vx
