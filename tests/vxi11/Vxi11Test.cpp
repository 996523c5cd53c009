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

using ::testing::ElementsAreArray;

// A connection's calls waiting for their replies, by procedure, oldest first.
struct Client {
  std::unique_ptr<vxi11::Conversation> talk;
  std::deque<std::uint32_t> asked;
  std::uint32_t program = vxi11::kCoreProgram;
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
      text += fmt::format(
          " reason {} \"{}\"", r.read.reason,
          fmt::join(test::lines(std::string(r.read.data.data_val ? r.read.data.data_val : "",
                                            r.read.data.data_len) +
                                "."),
                    "\\n"));
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
    Client& c = clients[name];
    if (!c.talk) {
      const bool abort = name[0] == 'x';
      c.talk = std::make_unique<vxi11::Conversation>(
          device, abort ? vxi11::Conversation::Channel::Abort : vxi11::Conversation::Channel::Core);
      c.program = abort ? vxi11::kAbortProgram : vxi11::kCoreProgram;
    }
    std::uint32_t id = 0;  // a link id, sent as XDR's 32-bit long
    unsigned long a = 0, b = 0;
    std::string text;
    std::string record;
    const auto send = [&](std::uint32_t proc, auto routine, auto args, std::uint32_t program = 0,
                          std::uint32_t version = 1, std::uint32_t rpc = 2) {
      record =
          test::rpcCall(++xid, program ? program : c.program, version, proc, routine, &args, rpc);
      c.asked.push_back(proc);
    };
    const auto lid = [&id] { return long{static_cast<std::int32_t>(id)}; };
    if (call == "counter") {  // the link-id counter set where the line says
      in >> id;
      device.countLinksFrom(id);
      continue;
    }
    if (call == "create_link") {
      in >> text >> a >> b;
      send(create_link, &xdr_Create_LinkParms, Create_LinkParms{0, a != 0, b, text.data()});
    } else if (call == "write") {
      in >> id >> a >> b;
      std::getline(in >> std::ws, text);
      send(device_write, &xdr_Device_WriteParms,
           Device_WriteParms{
               lid(), 0, b, static_cast<long>(a), {static_cast<u_int>(text.size()), text.data()}});
    } else if (call == "read") {
      in >> id >> a >> b >> text;
      send(device_read, &xdr_Device_ReadParms,
           Device_ReadParms{lid(), a, 0, 0, static_cast<long>(b), text.empty() ? '\0' : text[0]});
    } else if (call == "readstb" || call == "clear") {
      in >> id >> a >> b;
      send(call == "clear" ? device_clear : device_readstb, &xdr_Device_GenericParms,
           Device_GenericParms{lid(), static_cast<long>(a), b, 0});
    } else if (call == "lock") {
      in >> id >> a >> b;
      send(device_lock, &xdr_Device_LockParms, Device_LockParms{lid(), static_cast<long>(a), b});
    } else if (call == "unlock" || call == "destroy_link" || call == "abort") {
      in >> id;
      send(call == "unlock"  ? device_unlock
           : call == "abort" ? device_abort
                             : destroy_link,
           &xdr_Device_Link, lid());
    } else if (call == "call") {  // PROGRAM VERSION PROCEDURE [RPC VERSION], no arguments
      std::uint32_t program, version, proc, rpc = 2;
      in >> std::hex >> program >> std::dec >> version >> proc >> rpc;
      send(proc, static_cast<bool_t (*)(XDR*, int*)>(nullptr), 0, program, version, rpc);
    } else if (call == "oversize" || call == "http") {
      record = call == "http" ? "POST / HTTP/1.1\r\n" : std::string("\x80\x01\x00\x00", 4);
    }
    auto out = call == "expire" ? c.talk->expire() : c.talk->feed(record);
    transcript << decode(out.replies, c);
    if (out.close) transcript << "closed: " << out.why << "\n";
    for (; changed; changed = false)
      for (auto& [other, o] : clients) transcript << decode(o.talk->resume().replies, o);
    for (const auto& word : test::controlWords(rig.traced.take()))
      transcript << "latched " << word << "\n";
  }
  EXPECT_THAT(test::lines(transcript.str()),
              ElementsAreArray(test::expected("vxi11-session.expected")));
  EXPECT_TRUE(rig.board.violations().empty());
}

}  // namespace
}  // namespace vx
