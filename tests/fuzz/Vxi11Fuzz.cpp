// Bytes from a VXI-11 client, on the core channel and then the abort channel, through the
// conversation the server's connections run, over the simulated board. Every reply is a whole
// record holding an RPC reply; the link protocol is never broken; and afterwards the device
// still takes a new link.
#include <cstdint>
#include <string>
#include <string_view>

#include "Fuzz.h"
#include "board/FrontPanel.h"
#include "port/SimulatedBoard.h"
#include "support/Support.h"
#include "vxi11/Rpc.h"

namespace {

using vx::fuzz::check;

void checkReplies(std::string_view replies) {
  while (!replies.empty()) {
    check(replies.size() >= 4, "a reply's record mark is cut short");
    std::uint32_t mark;
    std::copy_n(replies.data(), 4, reinterpret_cast<char*>(&mark));
    mark = ntohl(mark);
    const std::size_t length = mark & 0x7fffffffU;
    check((mark & 0x80000000U) && replies.size() >= 4 + length, "a reply is not one whole record");
    std::string body(replies.substr(4, length));
    rpc_msg m{};
    m.acpted_rply.ar_results.proc = vx::test::xdrProc(&xdr_void);
    XDR x;
    xdrmem_create(&x, body.data(), static_cast<u_int>(body.size()), XDR_DECODE);
    xdr_replymsg(&x, &m);  // the results are not void: only the header is checked
    xdr_destroy(&x);
    check(m.rm_direction == REPLY, "a record that is no RPC reply");
    replies.remove_prefix(4 + length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vx::SimulatedBoard board;
  vx::test::TracedPort rig(board);
  rig.port().setPortBase(0x378);
  vx::FrontPanel panel(rig.port());
  vx::ScpiInstrument instrument(panel);
  vx::vxi11::Device device(instrument);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const auto channel :
       {vx::vxi11::Conversation::Channel::Core, vx::vxi11::Conversation::Channel::Abort}) {
    vx::vxi11::Conversation talk(device, channel);
    // In two pieces, as a socket may give them; a call that waits for the lock runs out of time.
    checkReplies(talk.feed(bytes.substr(0, size / 2)).replies);
    checkReplies(talk.feed(bytes.substr(size / 2)).replies);
    if (talk.waiting()) checkReplies(talk.expire().replies);
  }
  check(board.violations().empty(), "the link protocol was broken");
  vx::vxi11::Conversation fresh(device, vx::vxi11::Conversation::Channel::Core);
  char name[] = "inst0";
  Create_LinkParms link{0, 0, 0, name};
  std::string out = fresh
                        .feed(vx::test::rpcCall(1, vx::vxi11::kCoreProgram, 1, create_link,
                                                vx::test::xdrProc(&xdr_Create_LinkParms), &link))
                        .replies;
  check(out.size() > 28, "the device no longer takes a link");
  return 0;
}
