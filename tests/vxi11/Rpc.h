#pragma once

// A test's RPC client side of VXI-11: calls encoded and replies decoded with libtirpc and the
// routines rpcgen makes of vxi11.x, as a real client does; each reply's result by the routine the
// server's own table gives its procedure.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "vxi11.h"
#include "vxi11/Conversation.h"
#include "vxi11/Procedures.h"

namespace vx::test {

// One call as a record: its mark, the call header, the arguments (none without encode).
template <class T = int>
std::string rpcCall(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                    std::uint32_t procedure, bool_t (*encode)(XDR*, T*) = nullptr,
                    T* args = nullptr, std::uint32_t rpcVersion = 2) {
  const opaque_auth none{AUTH_NONE, nullptr, 0};
  // RPC version 2: libtirpc encodes no other; another is written over it below.
  rpc_msg m{.rm_xid = xid,
            .rm_direction = CALL,
            .ru = {.RM_cmb = {2, program, version, procedure, none, none}}};
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

// The first record of records, taken off them and decoded as a client does: the reply's header,
// and its result, when it has one, by the routine the server's table gives its procedure (none:
// no result). whole: it was one whole record, decoded to its last byte.
struct Reply {
  Reply(std::string_view& records, const vxi11::Procedure* procedure)
      : routine(procedure ? procedure->result : nullptr) {
    std::memset(&result, 0, sizeof result);
    message.acpted_rply.ar_results = {reinterpret_cast<char*>(&result), routine};
    XDR x;
    xdrmem_create(&x, const_cast<char*>(records.data()), static_cast<u_int>(records.size()),
                  XDR_DECODE);
    std::uint32_t mark = 0;
    whole = xdr_u_int32_t(&x, &mark) && (mark & 0x80000000U) && xdr_replymsg(&x, &message) &&
            xdr_getpos(&x) == 4 + (mark & 0x7fffffffU);
    xdr_destroy(&x);
    records.remove_prefix(std::min<std::size_t>(records.size(), 4 + (mark & 0x7fffffffU)));
  }
  ~Reply() {
    if (routine) xdr_free(routine, reinterpret_cast<char*>(&result));
  }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;

  xdrproc_t routine;
  union {
    Device_Error error;  // every result starts with its error
    Create_LinkResp link;
    Device_WriteResp write;
    Device_ReadResp read;
    Device_ReadStbResp stb;
  } result;
  rpc_msg message{};
  bool whole = false;
};

}  // namespace vx::test
