// VXI-11's conversation over the simulated board, as clients see it: tests/data/vxi11-session.in
// step by step, each call encoded as a real client does, each reply decoded, against
// tests/data/vxi11-session.expected.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "support/Support.h"
#include "vxi11/Rpc.h"

namespace vx {
namespace {

// A connection's calls waiting for their replies, by procedure, oldest first.
struct Client {
  Client(vxi11::Device& device, bool abort)
      : talk(device,
             abort ? vxi11::Conversation::Channel::Abort : vxi11::Conversation::Channel::Core),
        program(abort ? vxi11::kAbortProgram : vxi11::kCoreProgram) {}
  vxi11::Conversation talk;
  std::deque<std::uint32_t> asked;
  std::uint32_t program;
};

// What each reply says, a line each: its RPC status, or VXI-11's error and the result's fields.
std::string decode(std::string_view records, Client& c) {
  std::string text;
  while (records.size() >= 4 && !c.asked.empty()) {
    const std::uint32_t proc = c.asked.front();
    c.asked.pop_front();
    const test::Reply reply(records, vxi11::findProcedure(c.program, proc));
    const auto& [m, r] = std::tie(reply.message, reply.result);
    if (m.rm_reply.rp_stat == MSG_DENIED || m.acpted_rply.ar_stat != SUCCESS || proc == NULLPROC) {
      const bool denied = m.rm_reply.rp_stat == MSG_DENIED;
      text += fmt::format("< rpc {} {}\n", denied ? "denied" : "accepted",
                          denied ? int{m.rjcted_rply.rj_stat} : int{m.acpted_rply.ar_stat});
      continue;
    }
    text += fmt::format("< error {}", reply.whole ? r.error.error : -1);
    if (proc == create_link)
      text += fmt::format(" lid {} maxRecvSize {}", static_cast<std::uint32_t>(r.link.lid),
                          r.link.maxRecvSize);
    if (proc == device_write) text += fmt::format(" size {}", r.write.size);
    if (proc == device_readstb) text += fmt::format(" stb {}", int{r.stb.stb});
    if (proc == device_read)
      text += fmt::format(" reason {} {:?}", r.read.reason,
                          std::string_view(r.read.data.data_val, r.read.data.data_len));
    text += "\n";
  }
  return text;
}

TEST(Vxi11, SessionCallForCall) {
  test::BoardRig rig;
  vxi11::Device device(rig.instrument);
  bool changed = false;
  device.changed = [&changed] { changed = true; };
  std::map<std::string, Client> clients;
  std::ostringstream transcript;
  std::uint32_t xid = 0;
  for (const std::string& line : test::expected("vxi11-session.in")) {
    if (line.starts_with("#")) continue;
    transcript << "> " << line << "\n";
    std::istringstream in(line);
    std::string name, call;
    in >> name >> call;
    std::array<unsigned long, 4> n{};  // its numbers (0 for those not given), then its text
    for (auto& number : n) in >> number;
    in.clear();
    std::string text, record;
    std::getline(in >> std::ws, text);
    Client& c = clients.try_emplace(name, device, name[0] == 'x').first->second;
    const auto send = [&](std::uint32_t proc, auto routine, auto args, std::uint32_t program = 0,
                          std::uint32_t version = 1, std::uint32_t rpc = 2) {
      record =
          test::rpcCall(++xid, program ? program : c.program, version, proc, routine, &args, rpc);
      c.asked.push_back(proc);
    };
    // A link id is sent as XDR's 32-bit long.
    const long lid = static_cast<std::int32_t>(n[0]), flags = static_cast<long>(n[1]);
    // counter: the link-id counter set where the line says; the conversation gets no bytes.
    if (call == "counter") device.countLinksFrom(static_cast<std::uint32_t>(n[0]));
    if (call == "create_link")
      send(create_link, &xdr_Create_LinkParms, Create_LinkParms{0, n[0] != 0, n[1], text.data()});
    if (call == "write")
      send(device_write, &xdr_Device_WriteParms,
           Device_WriteParms{lid, 0, n[2], flags, {static_cast<u_int>(text.size()), text.data()}});
    if (call == "read")
      send(device_read, &xdr_Device_ReadParms, Device_ReadParms{lid, n[2], 0, 0, flags, text[0]});
    if (call == "readstb" || call == "clear")
      send(call == "clear" ? device_clear : device_readstb, &xdr_Device_GenericParms,
           Device_GenericParms{lid, flags, n[2], 0});
    if (call == "lock")
      send(device_lock, &xdr_Device_LockParms, Device_LockParms{lid, flags, n[2]});
    if (call == "unlock") send(device_unlock, &xdr_Device_Link, lid);
    if (call == "abort") send(device_abort, &xdr_Device_Link, lid);
    if (call == "destroy_link") send(destroy_link, &xdr_Device_Link, lid);
    if (call == "call")  // PROGRAM VERSION PROCEDURE [RPC VERSION], no arguments
      send(n[2], static_cast<bool_t (*)(XDR*, int*)>(nullptr), 0, n[0], n[1], n[3] ? n[3] : 2);
    if (call == "oversize" || call == "http")
      record = call == "http" ? "POST / HTTP/1.1\r\n" : std::string("\x80\x01\x00\x00", 4);
    auto out = call == "expire" ? c.talk.expire() : c.talk.feed(record);
    transcript << decode(out.replies, c);
    if (out.close) transcript << "closed: " << out.why << "\n";
    for (; changed; changed = false)
      for (auto& [other, o] : clients) transcript << decode(o.talk.resume().replies, o);
    for (const auto& word : test::controlWords(rig.traced.take()))
      transcript << "latched " << word << "\n";
  }
  EXPECT_THAT(test::lines(transcript.str()),
              ::testing::ElementsAreArray(test::expected("vxi11-session.expected")));
  EXPECT_TRUE(rig.board.violations().empty());
}

}  // namespace
}  // namespace vx
