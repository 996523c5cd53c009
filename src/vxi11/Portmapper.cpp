#include "vxi11/Portmapper.h"

#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

namespace vx::vxi11 {

namespace {

// libtirpc reaches the local rpcbind over its Unix socket (/run/rpcbind.sock), else over
// loopback; when none answers, the calls fail.
class SystemPortmapper final : public Portmapper {
 public:
  bool set(std::uint32_t program, std::uint32_t version, std::uint16_t port) override {
    pmap_unset(program, version);  // a mapping left by a run that did not end cleanly
    return pmap_set(program, version, IPPROTO_TCP, port);
  }
  void unset(std::uint32_t program, std::uint32_t version) override {
    pmap_unset(program, version);
  }
};

}  // namespace

std::unique_ptr<Portmapper> makeSystemPortmapper() {
  return std::make_unique<SystemPortmapper>();
}

}  // namespace vx::vxi11
