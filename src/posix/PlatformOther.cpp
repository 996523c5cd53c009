// POSIX systems other than Linux have no real-port backend yet: it finds no port and says why.
#include "app/Platform.h"
#include "startup/NoVersionOsServices.h"

namespace vx {

namespace {

class NoPortLibrary : public PortLibrary {
 public:
  std::int16_t ClaimParallelPort(std::int32_t, std::int32_t) override { return 0; }
  std::int32_t GetParallelPortCount() override { return 0; }
  std::int16_t GetParallelPortInfo(std::int32_t, PortInfoRecord&) override { return 0; }
  std::int32_t InByte(std::int32_t) override { return 0xFF; }
  void OutByte(std::int32_t, std::int32_t) override {}
  void flush() override {}
  std::string failureReason() const override {
    return "This build has no real parallel-port backend. Run with --simulate to use the "
           "simulated board.";
  }
};

}  // namespace

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments) {
  return std::make_unique<NoVersionOsServices>(arguments);
}

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions&) {
  return std::make_unique<NoPortLibrary>();
}

// There is no real port to choose.
void addPlatformPortOptions(CLI::App&, BackendOptions&, CLI::Option*) {}

std::unique_ptr<net::Announcer> makeAnnouncer(net::EventLoop& loop) {
  return net::unavailableAnnouncer(loop.log(), "this build has no mDNS responder binding");
}

}  // namespace vx
