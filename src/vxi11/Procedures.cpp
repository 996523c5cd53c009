#include "vxi11/Procedures.h"

#include <optional>
#include <type_traits>

namespace vx::vxi11 {

namespace {

// Flags of the calls.
constexpr std::int32_t kWaitLock = 0x01, kEnd = 0x08, kTermCharSet = 0x80;

// An XDR routine as libtirpc stores it. Only libtirpc calls it so; this program calls each
// routine through its own type, as a call through xdrproc_t, which takes any arguments, is
// undefined.
template <class F>
xdrproc_t proc(F* routine) {
  return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(routine));
}

// What a routine decodes or encodes.
template <class R>
struct Coded;
template <class T>
struct Coded<bool_t (*)(XDR*, T*)> {
  using Type = T;
};

// The arguments of a procedure that takes none, or that is not supported whatever it carries;
// and the result of one that answers nothing.
struct Nothing {};
bool_t nothing(XDR*, Nothing*) {
  return TRUE;
}

// A link id as the wire carries it: XDR's long is 32 bits, which a decoder sign-extends.
std::uint32_t id(Device_Link lid) {
  return static_cast<std::uint32_t>(lid);
}

// The one path of every procedure: its arguments decoded by their routine (GARBAGE_ARGS when
// they do not decode), its handler called, its result handed back with the routine that encodes
// it, its arguments freed by their routine.
template <auto argument, auto result, auto handler>
Served serve(Device& device, Call& call, XDR* xdr) {
  using Arguments = typename Coded<decltype(argument)>::Type;
  Arguments arguments{};
  Served served;
  if (argument(xdr, &arguments)) {
    using Result = typename Coded<decltype(result)>::Type;
    served.routine = proc(result);
    served.result = std::make_shared<Result>(handler(device, call, arguments));
  } else {
    served.status = GARBAGE_ARGS;
  }
  if constexpr (!std::is_same_v<Arguments, Nothing>)
    xdr_free(proc(argument), reinterpret_cast<char*>(&arguments));
  return served;
}

template <auto argument, auto result, auto handler>
Procedure row(std::uint32_t program, std::uint32_t number) {
  return {program, number, proc(result), &serve<argument, result, handler>};
}

Nothing ping(Device&, Call&, const Nothing&) {
  return {};
}

Create_LinkResp createLink(Device& d, Call& c, const Create_LinkParms& p) {
  Create_LinkResp r{};
  std::uint32_t lid = 0;
  r.error = d.open(c, p.device ? p.device : "", p.lockDevice, p.lock_timeout, lid);
  if (r.error != kNoError || c.wait) return r;
  r.lid = static_cast<std::int32_t>(lid);
  r.abortPort = d.abortPort();
  r.maxRecvSize = static_cast<u_long>(d.limits().maxRecvSize);
  return r;
}

Device_WriteResp write(Device& d, Call& c, const Device_WriteParms& p) {
  Device_WriteResp r{};
  r.error = d.check(c, id(p.lid), p.flags & kWaitLock, p.lock_timeout);
  if (r.error != kNoError || c.wait) return r;
  if (p.data.data_len > d.limits().maxRecvSize) {
    r.error = kParameterError;
    return r;
  }
  d.write(id(p.lid), std::string(p.data.data_val, p.data.data_len), p.flags & kEnd);
  r.size = p.data.data_len;
  return r;
}

Device_ReadResp read(Device& d, Call& c, const Device_ReadParms& p) {
  Device_ReadResp r{};
  r.error = d.check(c, id(p.lid), p.flags & kWaitLock, p.lock_timeout);
  if (r.error == kNoError && !c.wait) {
    Device::Read got = d.read(id(p.lid), p.requestSize,
                              p.flags & kTermCharSet ? std::optional(p.termChar) : std::nullopt);
    r.error = got.error;
    r.reason = got.reason;
    c.kept = std::move(got.data);
  }
  r.data.data_val = c.kept.data();
  r.data.data_len = static_cast<u_int>(c.kept.size());
  return r;
}

Device_ReadStbResp readStb(Device& d, Call& c, const Device_GenericParms& p) {
  Device_ReadStbResp r{};
  r.error = d.check(c, id(p.lid), p.flags & kWaitLock, p.lock_timeout);
  if (r.error == kNoError && !c.wait) r.stb = d.statusByte(id(p.lid));
  return r;
}

Device_Error clear(Device& d, Call& c, const Device_GenericParms& p) {
  const std::int32_t error = d.check(c, id(p.lid), p.flags & kWaitLock, p.lock_timeout);
  if (error == kNoError && !c.wait) d.clear(id(p.lid));
  return {error};
}

Device_Error lock(Device& d, Call& c, const Device_LockParms& p) {
  const std::int32_t error = d.check(c, id(p.lid), p.flags & kWaitLock, p.lock_timeout);
  if (error == kNoError && !c.wait) d.lock(id(p.lid));
  return {error};
}

Device_Error unlock(Device& d, Call& c, const Device_Link& lid) {
  return {d.unlock(c.owner, id(lid))};
}

Device_Error destroyLink(Device& d, Call& c, const Device_Link& lid) {
  return {d.close(c.owner, id(lid))};
}

Device_Error abortLink(Device& d, Call&, const Device_Link& lid) {
  return {d.abort(id(lid))};
}

Device_Error notSupported(Device&, Call&, const Nothing&) {
  return {kNotSupported};
}

Device_DocmdResp docmdNotSupported(Device&, Call&, const Nothing&) {
  return {kNotSupported, {0, nullptr}};
}

}  // namespace

std::span<const Procedure> procedures() {
  constexpr std::uint32_t core = kCoreProgram, abort = kAbortProgram;
  static const Procedure kTable[] = {
      row<&nothing, &nothing, &ping>(core, NULLPROC),
      row<&xdr_Create_LinkParms, &xdr_Create_LinkResp, &createLink>(core, create_link),
      row<&xdr_Device_WriteParms, &xdr_Device_WriteResp, &write>(core, device_write),
      row<&xdr_Device_ReadParms, &xdr_Device_ReadResp, &read>(core, device_read),
      row<&xdr_Device_GenericParms, &xdr_Device_ReadStbResp, &readStb>(core, device_readstb),
      row<&nothing, &xdr_Device_Error, &notSupported>(core, device_trigger),
      row<&xdr_Device_GenericParms, &xdr_Device_Error, &clear>(core, device_clear),
      row<&nothing, &xdr_Device_Error, &notSupported>(core, device_remote),
      row<&nothing, &xdr_Device_Error, &notSupported>(core, device_local),
      row<&xdr_Device_LockParms, &xdr_Device_Error, &lock>(core, device_lock),
      row<&xdr_Device_Link, &xdr_Device_Error, &unlock>(core, device_unlock),
      row<&nothing, &xdr_Device_Error, &notSupported>(core, device_enable_srq),
      row<&nothing, &xdr_Device_DocmdResp, &docmdNotSupported>(core, device_docmd),
      row<&xdr_Device_Link, &xdr_Device_Error, &destroyLink>(core, destroy_link),
      row<&nothing, &xdr_Device_Error, &notSupported>(core, create_intr_chan),
      row<&nothing, &xdr_Device_Error, &notSupported>(core, destroy_intr_chan),
      row<&nothing, &nothing, &ping>(abort, NULLPROC),
      row<&xdr_Device_Link, &xdr_Device_Error, &abortLink>(abort, device_abort),
  };
  return kTable;
}

const Procedure* findProcedure(std::uint32_t program, std::uint32_t number) {
  for (const Procedure& p : procedures())
    if (p.program == program && p.number == number) return &p;
  return nullptr;
}

}  // namespace vx::vxi11
