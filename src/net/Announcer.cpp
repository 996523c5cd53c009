#include "net/Announcer.h"

namespace vx::net {

namespace {

class UnavailableAnnouncer : public Announcer {
 public:
  UnavailableAnnouncer(Log& log, std::string why) : log_(log), why_(std::move(why)) {}
  void publish(const std::vector<Service>& services) override {
    if (!services.empty()) log_.say("announcing on the network is not available: " + why_);
  }

 private:
  Log& log_;
  std::string why_;
};

}  // namespace

std::unique_ptr<Announcer> unavailableAnnouncer(Log& log, std::string why) {
  return std::make_unique<UnavailableAnnouncer>(log, std::move(why));
}

}  // namespace vx::net
