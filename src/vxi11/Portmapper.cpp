#include "vxi11/Portmapper.h"

#include <netinet/in.h>
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
    // What pmap_set does, with the address held here: libtirpc's pmap_set leaks the one it
    // builds.
    netconfig* tcp = getnetconfigent("tcp");
    if (tcp == nullptr) return false;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    netbuf address{sizeof any, sizeof any, &any};
    const bool registered = rpcb_set(program, version, tcp, &address);
    freenetconfigent(tcp);
    return registered;
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
