// Linux: announcing through avahi-daemon, over D-Bus, with Avahi's client library on a thread of
// its own; its lines reach the log through the event loop. Without the daemon (or D-Bus) it says
// so once and publishes nothing. In a file of its own, so that only the programs that announce
// link it.
#include "app/Platform.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <fmt/format.h>

#include <string>
#include <vector>

namespace vx {

namespace {

class AvahiAnnouncer : public net::Announcer {
 public:
  explicit AvahiAnnouncer(net::EventLoop& loop) : log_(loop.log()) {}

  ~AvahiAnnouncer() override {
    // The thread first, so that no callback runs while the group and the client go; freeing
    // them withdraws the services at once.
    if (poll_) avahi_threaded_poll_stop(poll_);
    if (group_) avahi_entry_group_free(group_);
    if (client_) avahi_client_free(client_);
    if (poll_) avahi_threaded_poll_free(poll_);
  }
  AvahiAnnouncer(const AvahiAnnouncer&) = delete;
  AvahiAnnouncer& operator=(const AvahiAnnouncer&) = delete;

  void publish(const std::vector<net::Service>& services) override {
    if (services.empty() || poll_) return;
    services_ = services;
    name_ = services.front().name;
    poll_ = avahi_threaded_poll_new();
    int error = 0;
    // The client calls back from here on: first on this thread, then on the poll's own.
    if (poll_)
      client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AvahiClientFlags(0), clientChanged,
                                 this, &error);
    if (!client_) {
      say(fmt::format("not announced on the network: avahi-daemon cannot be reached ({})",
                      poll_ ? avahi_strerror(error) : "no memory"));
      return;
    }
    if (avahi_threaded_poll_start(poll_) < 0) say("not announced on the network: no thread");
  }

 private:
  static void clientChanged(AvahiClient* client, AvahiClientState state, void* self) {
    auto& a = *static_cast<AvahiAnnouncer*>(self);
    switch (state) {
      case AVAHI_CLIENT_S_RUNNING:
        a.add(client);
        break;
      case AVAHI_CLIENT_S_COLLISION:
      case AVAHI_CLIENT_S_REGISTERING:
        // The host's own name is being settled: publish again once it is.
        if (a.group_) avahi_entry_group_reset(a.group_);
        break;
      case AVAHI_CLIENT_FAILURE:
        a.say(fmt::format("no longer announced on the network: avahi-daemon went away ({})",
                          avahi_strerror(avahi_client_errno(client))));
        break;
      case AVAHI_CLIENT_CONNECTING:
        break;
    }
  }

  static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
    auto& a = *static_cast<AvahiAnnouncer*>(self);
    switch (state) {
      case AVAHI_ENTRY_GROUP_ESTABLISHED:
        if (!a.established_) a.say(fmt::format("announced on the network as \"{}\"", a.name_));
        a.established_ = true;
        break;
      case AVAHI_ENTRY_GROUP_COLLISION:
        a.rename();
        a.add(avahi_entry_group_get_client(group));
        break;
      case AVAHI_ENTRY_GROUP_FAILURE:
        a.say(fmt::format("not announced on the network: {}",
                          avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group)))));
        break;
      case AVAHI_ENTRY_GROUP_UNCOMMITED:
      case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
  }

  // Another service on the network has the name: take Avahi's alternative ("... #2").
  void rename() {
    char* other = avahi_alternative_service_name(name_.c_str());
    say(fmt::format("the name \"{}\" is taken on the network; announced as \"{}\"", name_, other));
    name_ = other;
    avahi_free(other);
    established_ = true;  // the rename is the news
    if (group_) avahi_entry_group_reset(group_);
  }

  // Adds every service to the group under the current name, and commits it.
  void add(AvahiClient* client) {
    if (!group_) group_ = avahi_entry_group_new(client, groupChanged, this);
    if (!group_) {
      say(fmt::format("not announced on the network: {}",
                      avahi_strerror(avahi_client_errno(client))));
      return;
    }
    if (!avahi_entry_group_is_empty(group_)) return;
    for (const net::Service& s : services_) {
      AvahiStringList* txt = nullptr;
      for (const std::string& record : s.txt) txt = avahi_string_list_add(txt, record.c_str());
      const int result = avahi_entry_group_add_service_strlst(
          group_, AVAHI_IF_UNSPEC, s.ipv4Only ? AVAHI_PROTO_INET : AVAHI_PROTO_UNSPEC,
          AvahiPublishFlags(0), name_.c_str(), s.type.c_str(), nullptr, nullptr, s.port, txt);
      avahi_string_list_free(txt);
      if (result == AVAHI_ERR_COLLISION) {
        rename();
        add(client);
        return;
      }
      if (result < 0) {
        say(fmt::format("not announced on the network: {} ({})", avahi_strerror(result), s.type));
        avahi_entry_group_reset(group_);
        return;
      }
    }
    if (const int result = avahi_entry_group_commit(group_); result < 0)
      say(fmt::format("not announced on the network: {}", avahi_strerror(result)));
  }

  void say(std::string line) { log_.post(std::move(line)); }

  net::Log& log_;
  AvahiThreadedPoll* poll_ = nullptr;
  AvahiClient* client_ = nullptr;
  AvahiEntryGroup* group_ = nullptr;
  std::vector<net::Service> services_;
  std::string name_;
  bool established_ = false;
};

}  // namespace

std::unique_ptr<net::Announcer> makeAnnouncer(net::EventLoop& loop) {
  return std::make_unique<AvahiAnnouncer>(loop);
}

}  // namespace vx
