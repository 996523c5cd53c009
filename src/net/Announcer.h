#pragma once

// Announces services on the local network through the system's own mDNS responder (Avahi on
// Linux, DnsServiceRegister on Windows). Each platform folder makes the real one; tests use a
// double.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/EventLoop.h"
#include "net/Interfaces.h"

namespace vx::net {

class Announcer {
 public:
  virtual ~Announcer() = default;  // withdraws what it published
  // Publishes the services until the announcer goes. What happens later (the responder gone, a
  // name taken and replaced) is said once on the log.
  virtual void publish(const std::vector<Service>& services) = 0;
};

// Makes a platform's announcer. Its lines reach the loop's log, posted from the responder's own
// thread; a system without a responder says so once there and publishes nothing.
using MakeAnnouncer = std::function<std::unique_ptr<Announcer>(EventLoop& loop)>;

// Where the system offers no responder: says in one line on log, when there is something to
// announce, that announcing is not available, and why.
std::unique_ptr<Announcer> unavailableAnnouncer(Log& log, std::string why);

}  // namespace vx::net
