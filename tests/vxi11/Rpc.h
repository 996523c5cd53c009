#pragma once

// A test's RPC client side of VXI-11: calls encoded and replies decoded with libtirpc and the
// routines rpcgen makes of vxi11.x, as a real client does.

#include <fmt/format.h>

#include <cstdint>
#include <string>

#include "vxi11.h"
#include "vxi11/Conversation.h"

namespace vx::test {

template <class F>
xdrproc_t xdrProc(F* routine) {
  return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(routine));
}

// One call as a record: its mark, the call header, the arguments (none without encode).
template <class T = int>
std::string rpcCall(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                    std::uint32_t procedure, bool_t (*encode)(XDR*, T*) = nullptr,
                    T* args = nullptr, std::uint32_t rpcVersion = 2) {
  rpc_msg m{};
  m.rm_xid = xid;
  m.rm_direction = CALL;
  m.rm_call.cb_rpcvers = 2;  // libtirpc encodes no other; another is written over it below
  m.rm_call.cb_prog = program;
  m.rm_call.cb_vers = version;
  m.rm_call.cb_proc = procedure;
  m.rm_call.cb_cred = m.rm_call.cb_verf = opaque_auth{AUTH_NONE, nullptr, 0};
  std::string record(vxi11::Limits{}.maxRecord, '\0');
  XDR x;
  xdrmem_create(&x, record.data() + 4, static_cast<u_int>(record.size() - 4), XDR_ENCODE);
  const bool whole = xdr_callmsg(&x, &m) && (!encode || encode(&x, args));
  const std::uint32_t mark = htonl(0x80000000U | xdr_getpos(&x));
  record.resize(whole ? 4 + xdr_getpos(&x) : 4);
  record.replace(0, 4, reinterpret_cast<const char*>(&mark), 4);
  if (whole) record[15] = static_cast<char>(rpcVersion);
  return record;
}

}  // namespace vx::test
