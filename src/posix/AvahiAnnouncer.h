#pragma once

#include <memory>
#include <ostream>

#include "net/Announcer.h"

namespace vx {

// Announces through avahi-daemon, over D-Bus, with Avahi's client library on a thread of its
// own; its lines reach the log through the event loop. Without the daemon (or D-Bus) it says
// so once and publishes nothing.
std::unique_ptr<Announcer> makeAvahiAnnouncer(EventLoop& loop, std::ostream& log);

}  // namespace vx
