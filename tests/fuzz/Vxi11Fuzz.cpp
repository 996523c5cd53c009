// Bytes from a VXI-11 client, on the core channel and then the abort channel, through the
// conversation the server's connections run, over the simulated board. Every reply is a whole
// record holding an RPC reply whose result decodes whole by the server's table; the link protocol
// is never broken; and afterwards the device still takes a new link.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "Fuzz.h"
#include "support/Support.h"
#include "vxi11/Rpc.h"

namespace {

using vx::fuzz::check;

// Whole records, each an RPC reply whose result, when it has one, one of the server's procedures
// decodes to its last byte.
void checkReplies(std::string_view replies) {
  const auto decodes = [&replies](const vx::vxi11::Procedure& procedure) {
    std::string_view rest = replies;
    if (!vx::test::Reply(rest, &procedure).whole) return false;
    replies = rest;
    return true;
  };
  while (!replies.empty())
    check(std::ranges::any_of(vx::vxi11::procedures(), decodes),
          "a reply is not one whole record holding an RPC reply that decodes whole");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vx::test::BoardRig rig;
  vx::vxi11::Device device(rig.instrument);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const auto channel :
       {vx::vxi11::Conversation::Channel::Core, vx::vxi11::Conversation::Channel::Abort}) {
    vx::vxi11::Conversation talk(device, channel);
    // In two pieces, as a socket may give them; a call that waits for the lock runs out of time.
    checkReplies(talk.feed(bytes.substr(0, size / 2)).replies);
    checkReplies(talk.feed(bytes.substr(size / 2)).replies);
    if (talk.waiting()) checkReplies(talk.expire().replies);
  }
  check(rig.board.violations().empty(), "the link protocol was broken");
  vx::vxi11::Conversation fresh(device, vx::vxi11::Conversation::Channel::Core);
  char name[] = "inst0";
  Create_LinkParms link{0, 0, 0, name};
  const auto call =
      vx::test::rpcCall(1, vx::vxi11::kCoreProgram, 1, create_link, &xdr_Create_LinkParms, &link);
  check(fresh.feed(call).replies.size() > 28, "the device no longer takes a link");
  return 0;
}
