#include "vxi11/Conversation.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "vxi11.h"  // rpcgen's, from vxi11.x; brings libtirpc's rpc/rpc.h

namespace vx::vxi11 {

namespace {

// Flags of the calls, and the reasons a read ends.
constexpr std::int32_t kWaitLock = 0x01, kEnd = 0x08, kTermCharSet = 0x80;
constexpr std::int32_t kReasonRequestCount = 0x01, kReasonChar = 0x02, kReasonEnd = 0x04;
constexpr std::uint8_t kMessageAvailable = 0x10;
constexpr std::uint32_t kLastFragment = 0x80000000U;
constexpr std::size_t kReplyOverhead = 512;

template <class F>
xdrproc_t proc(F* routine) {
  return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(routine));
}

// A call's arguments, decoded by their rpcgen routine and freed by it. The routine is called
// through its own type: a call through xdrproc_t, which takes any arguments, is undefined.
template <class T>
struct Args {
  using Routine = bool_t (*)(XDR*, T*);
  T value{};
  Routine routine;
  explicit Args(Routine routine) : routine(routine) {}
  ~Args() { xdr_free(proc(routine), reinterpret_cast<char*>(&value)); }
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;
  bool decode(XDR* xdr) { return routine(xdr, &value); }
};

// A link id as the wire carries it: XDR's long is 32 bits, which a decoder sign-extends.
std::uint32_t id(Device_Link lid) {
  return static_cast<std::uint32_t>(lid);
}

bool sameLetters(std::string_view a, std::string_view lower) {
  return a.size() == lower.size() &&
         std::equal(a.begin(), a.end(), lower.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? static_cast<char>(x | 0x20) : x) == y;
         });
}

}  // namespace

// What one call comes to: a reply (its body encoded by routine from result), a wait for the
// lock, or nothing to answer and a connection to close.
struct Conversation::Result {
  enum Kind { Reply, Denied, Wait, Close } kind = Reply;
  enum accept_stat status = SUCCESS;
  xdrproc_t routine = proc(&xdr_void);
  std::shared_ptr<void> result;
  std::chrono::milliseconds wait{};
  std::string why;

  template <class T>
  static Result of(xdrproc_t routine, T value) {
    Result r;
    r.routine = routine;
    r.result = std::make_shared<T>(value);
    return r;
  }
  static Result error(std::int32_t code) { return of(proc(&xdr_Device_Error), Device_Error{code}); }
  static Result close(std::string why) {
    Result r;
    r.kind = Close;
    r.why = std::move(why);
    return r;
  }
  static Result rpc(enum accept_stat s) {
    Result r;
    r.status = s;
    return r;
  }
};

Device::Device(ScpiInstrument& instrument, Limits limits)
    : instrument_(instrument), limits_(limits) {}

std::uint32_t Device::newLid() {
  do ++lastLid_;
  while (lastLid_ == 0 || links_.contains(lastLid_));
  return lastLid_;
}

void Device::release(std::uint32_t lid) {
  if (lock_ != lid) return;
  lock_ = 0;
  if (changed) changed();
}

Conversation::~Conversation() {
  bool freed = false;
  for (auto link = device_.links_.begin(); link != device_.links_.end();) {
    if (link->second.owner != this) {
      ++link;
      continue;
    }
    freed = freed || device_.lock_ == link->first;
    if (device_.lock_ == link->first) device_.lock_ = 0;
    link = device_.links_.erase(link);
  }
  if (freed && device_.changed) device_.changed();
}

Conversation::Out Conversation::feed(std::string_view bytes) {
  if (closed_) return {};
  unread_.append(bytes);
  if (pending_ && unread_.size() > device_.limits_.maxRecord + 8192)
    return {{}, closed_ = true, "it sent on and on while its call waited"};
  return pending_ ? Out{} : run(Attempt::First);
}

// Frames the records and answers each; the call that waits is tried again as attempt says.
Conversation::Out Conversation::run(Attempt attempt) {
  Out out;
  const auto answer = [&](const std::string& record, Attempt a) {
    Result result = call(record, a);
    if (result.kind == Result::Close) {
      out.close = closed_ = true;
      out.why = result.why;
      return false;
    }
    if (result.kind == Result::Wait) {
      pending_ = record;
      waitFor_ = result.wait;
      return false;
    }
    pending_.reset();
    waitFor_.reset();
    // The reply, to the call's transaction: denied for another RPC version, else accepted, with
    // its result when the call succeeded.
    std::uint32_t xid;
    std::copy_n(record.data(), 4, reinterpret_cast<char*>(&xid));
    rpc_msg reply{};
    reply.rm_xid = ntohl(xid);
    reply.rm_direction = REPLY;
    reply.rm_reply.rp_stat = result.kind == Result::Denied ? MSG_DENIED : MSG_ACCEPTED;
    if (result.kind == Result::Denied) {
      reply.rjcted_rply.rj_stat = RPC_MISMATCH;
      reply.rjcted_rply.rj_vers.low = RPC_MSG_VERSION;
      reply.rjcted_rply.rj_vers.high = RPC_MSG_VERSION;
    } else {
      reply.acpted_rply.ar_verf = opaque_auth{AUTH_NONE, nullptr, 0};
      reply.acpted_rply.ar_stat = result.status;
      if (result.status == PROG_MISMATCH) {
        reply.acpted_rply.ar_vers.low = kVersion;
        reply.acpted_rply.ar_vers.high = kVersion;
      } else {
        reply.acpted_rply.ar_results.where = static_cast<char*>(result.result.get());
        reply.acpted_rply.ar_results.proc = result.routine;
      }
    }
    std::string body(device_.limits_.maxRead + kReplyOverhead, '\0');
    XDR xdr;
    xdrmem_create(&xdr, body.data() + 4, static_cast<u_int>(body.size() - 4), XDR_ENCODE);
    const bool encoded = xdr_replymsg(&xdr, &reply);
    const std::uint32_t length = xdr_getpos(&xdr);
    xdr_destroy(&xdr);
    if (!encoded) {  // a reply too long for the buffer: never, as reads are capped
      out.close = closed_ = true;
      out.why = "a reply could not be encoded";
      return false;
    }
    const std::uint32_t mark = htonl(kLastFragment | length);
    body.replace(0, 4, reinterpret_cast<const char*>(&mark), 4);
    body.resize(4 + length);
    out.replies += body;
    return true;
  };

  if (pending_ && !answer(std::string(*pending_), attempt)) return out;
  while (!closed_) {
    if (unread_.size() < 4) break;
    std::uint32_t mark;
    std::copy_n(unread_.data(), 4, reinterpret_cast<char*>(&mark));
    mark = ntohl(mark);
    const std::size_t length = mark & ~kLastFragment;
    if (record_.size() + length > device_.limits_.maxRecord) {
      out.close = closed_ = true;
      const auto line = std::string_view(unread_).substr(0, unread_.find_first_of("\r\n"));
      const bool web =
          first_ && ((unread_[0] == 0x16 && unread_[1] == 0x03) || looksLikeHttp(line));
      out.why = web ? "it sent an HTTP request or a TLS handshake, as a web page in a browser can "
                      "make it do"
                    : fmt::format("it sent a record over {} bytes", device_.limits_.maxRecord);
      break;
    }
    if (unread_.size() < 4 + length) break;
    first_ = false;
    started_ = true;
    record_.append(unread_, 4, length);
    unread_.erase(0, 4 + length);
    if (!(mark & kLastFragment)) continue;
    started_ = false;
    called_ = true;
    if (!answer(std::exchange(record_, {}), Attempt::First)) break;
  }
  return out;
}

Conversation::Result Conversation::call(const std::string& record, Attempt attempt) {
  // The header first, alone: a call of another RPC version gets RPC_MISMATCH, not a close.
  XDR xdr;
  xdrmem_create(&xdr, const_cast<char*>(record.data()), static_cast<u_int>(record.size()),
                XDR_DECODE);
  std::uint32_t xid = 0, direction = 1, rpcVersion = 0;
  const bool header = xdr_u_int32_t(&xdr, &xid) && xdr_u_int32_t(&xdr, &direction) &&
                      xdr_u_int32_t(&xdr, &rpcVersion);
  xdr_destroy(&xdr);
  if (!header || direction != CALL) return Result::close("it sent no RPC call");
  if (rpcVersion != RPC_MSG_VERSION) {
    Result denied;
    denied.kind = Result::Denied;
    return denied;
  }

  std::array<char, MAX_AUTH_BYTES> credentials{}, verifier{};
  rpc_msg message{};
  message.rm_call.cb_cred.oa_base = credentials.data();
  message.rm_call.cb_verf.oa_base = verifier.data();
  xdrmem_create(&xdr, const_cast<char*>(record.data()), static_cast<u_int>(record.size()),
                XDR_DECODE);
  const std::unique_ptr<XDR, void (*)(XDR*)> owner(&xdr, [](XDR* x) { xdr_destroy(x); });
  if (!xdr_callmsg(&xdr, &message)) return Result::close("it sent a bad RPC call");
  const auto& c = message.rm_call;
  const std::uint32_t program = channel_ == Channel::Core ? kCoreProgram : kAbortProgram;
  if (c.cb_prog != program) return Result::rpc(PROG_UNAVAIL);
  if (c.cb_vers != kVersion) return Result::rpc(PROG_MISMATCH);
  if (c.cb_proc == NULLPROC) return Result{};
  if (channel_ == Channel::Abort) {
    if (c.cb_proc != device_abort) return Result::rpc(PROC_UNAVAIL);
    Device_Link lid = 0;
    if (!xdr_Device_Link(&xdr, &lid)) return Result::rpc(GARBAGE_ARGS);
    const auto link = device_.links_.find(id(lid));
    if (link == device_.links_.end()) return Result::error(kInvalidLink);
    link->second.aborted = true;
    if (device_.changed) device_.changed();
    return Result::error(kNoError);
  }
  return core(static_cast<std::uint32_t>(c.cb_proc), &xdr, attempt);
}

// Whether the link may act now: the error it gets when not, or none. A call that may wait for
// the lock (waitlock set, a timeout given, its time not yet up) gets none and a wait.
std::optional<std::int32_t> Conversation::mayUse(std::uint32_t lid, std::int32_t flags,
                                                 std::uint32_t timeout, Attempt attempt,
                                                 std::chrono::milliseconds& wait) {
  const auto link = device_.links_.find(lid);
  if (link == device_.links_.end() || link->second.owner != this) return kInvalidLink;
  if (attempt == Attempt::First) link->second.aborted = false;
  if (link->second.aborted) {
    link->second.aborted = false;
    return kAborted;
  }
  if (device_.lock_ == 0 || device_.lock_ == lid) return std::nullopt;
  if ((flags & kWaitLock) && timeout > 0 && attempt != Attempt::Last) {
    wait = std::chrono::milliseconds(timeout);
    return std::nullopt;
  }
  return kLockedByAnother;
}

Conversation::Result Conversation::core(std::uint32_t procedure, const void* from,
                                        Attempt attempt) {
  XDR* xdr = const_cast<XDR*>(static_cast<const XDR*>(from));
  Device& d = device_;
  std::chrono::milliseconds wait{};
  const auto waiting = [&wait] {
    Result r;
    r.kind = Result::Wait;
    r.wait = wait;
    return r;
  };
  switch (procedure) {
    case create_link: {
      Args<Create_LinkParms> a(&xdr_Create_LinkParms);
      if (!a.decode(xdr)) return Result::rpc(GARBAGE_ARGS);
      Create_LinkResp r{};
      const auto refused = [&](std::int32_t code) {
        r.error = code;
        return Result::of(proc(&xdr_Create_LinkResp), r);
      };
      if (!sameLetters(a.value.device ? a.value.device : "", "inst0"))
        return refused(kDeviceNotAccessible);
      if (d.links_.size() >= d.limits_.maxLinks) return refused(kOutOfResources);
      if (a.value.lockDevice && d.lock_ != 0) {
        if (a.value.lock_timeout == 0 || attempt == Attempt::Last) return refused(kLockedByAnother);
        wait = std::chrono::milliseconds(a.value.lock_timeout);
        return waiting();
      }
      const std::uint32_t lid = d.newLid();
      r.lid = static_cast<std::int32_t>(lid);
      d.links_.emplace(lid, Device::Link{this, ScpiConnection(false), {}});
      if (a.value.lockDevice) d.lock_ = lid;
      r.abortPort = d.abortPort_;
      r.maxRecvSize = static_cast<u_long>(d.limits_.maxRecvSize);
      return Result::of(proc(&xdr_Create_LinkResp), r);
    }
    case device_write: {
      Args<Device_WriteParms> a(&xdr_Device_WriteParms);
      if (!a.decode(xdr)) return Result::rpc(GARBAGE_ARGS);
      Device_WriteResp r{};
      const auto& v = a.value;
      if (const auto e = mayUse(id(v.lid), v.flags, v.lock_timeout, attempt, wait)) {
        r.error = *e;
      } else if (wait.count()) {
        return waiting();
      } else if (v.data.data_len > d.limits_.maxRecvSize) {
        r.error = kParameterError;
      } else {
        Device::Link& link = d.links_.at(id(v.lid));
        // A new message while answers wait unread: they are lost, as IEEE 488.2 says.
        if (!link.midMessage && !link.output.empty()) {
          link.output.clear();
          link.scpi.client().error(-410, "Query INTERRUPTED");
        }
        std::string bytes(v.data.data_val, v.data.data_len);
        link.midMessage = !(v.flags & kEnd);
        if (!link.midMessage && (bytes.empty() || bytes.back() != '\n')) bytes += '\n';
        const std::string answers = link.scpi.feed(bytes, d.instrument_);
        for (std::size_t at = 0, end; (end = answers.find('\n', at)) != std::string::npos;
             at = end + 1) {
          if (link.output.size() == d.limits_.maxMessages) link.output.pop_front();
          link.output.push_back(answers.substr(at, end + 1 - at));
        }
        r.size = v.data.data_len;
      }
      return Result::of(proc(&xdr_Device_WriteResp), r);
    }
    case device_read: {
      Args<Device_ReadParms> a(&xdr_Device_ReadParms);
      if (!a.decode(xdr)) return Result::rpc(GARBAGE_ARGS);
      Device_ReadResp r{};
      std::string data;
      const auto& v = a.value;
      if (const auto e = mayUse(id(v.lid), v.flags, v.lock_timeout, attempt, wait)) {
        r.error = *e;
      } else if (wait.count()) {
        return waiting();
      } else if (Device::Link& link = d.links_.at(id(v.lid)); link.output.empty()) {
        // Nothing was asked: no answer will come while this link waits.
        link.scpi.client().error(-420, "Query UNTERMINATED");
        r.error = kIoTimeout;
      } else {
        std::string& message = link.output.front();
        std::size_t n = std::min<std::size_t>({v.requestSize, d.limits_.maxRead, message.size()});
        if (v.flags & kTermCharSet) {
          const auto at = message.find(v.termChar);
          if (at < n) {
            n = at + 1;
            r.reason |= kReasonChar;
          }
        }
        if (n == v.requestSize) r.reason |= kReasonRequestCount;
        data = message.substr(0, n);
        message.erase(0, n);
        if (message.empty()) {
          r.reason |= kReasonEnd;
          link.output.pop_front();
        }
      }
      r.data.data_val = data.data();
      r.data.data_len = static_cast<u_int>(data.size());
      auto result = Result::of(proc(&xdr_Device_ReadResp), r);
      // The reply is encoded while the call's result lives: keep the bytes with it.
      auto kept = std::make_shared<std::pair<Device_ReadResp, std::string>>(r, std::move(data));
      kept->first.data.data_val = kept->second.data();
      result.result = std::shared_ptr<void>(kept, &kept->first);
      return result;
    }
    case device_readstb:
    case device_clear: {
      Args<Device_GenericParms> a(&xdr_Device_GenericParms);
      if (!a.decode(xdr)) return Result::rpc(GARBAGE_ARGS);
      const auto& v = a.value;
      std::int32_t error = kNoError;
      std::uint8_t stb = 0;
      if (const auto e = mayUse(id(v.lid), v.flags, v.lock_timeout, attempt, wait)) {
        error = *e;
      } else if (wait.count()) {
        return waiting();
      } else if (Device::Link& link = d.links_.at(id(v.lid)); procedure == device_readstb) {
        stb = d.instrument_.statusByte(link.scpi.client()) |
              (link.output.empty() ? 0 : kMessageAvailable);
      } else {
        // Device clear: what is half-read or unread goes; the error queue stays.
        ScpiConnection fresh(false);
        fresh.client() = link.scpi.client();
        link.scpi = std::move(fresh);
        link.output.clear();
        link.midMessage = false;
      }
      if (procedure == device_clear) return Result::error(error);
      return Result::of(proc(&xdr_Device_ReadStbResp), Device_ReadStbResp{error, stb});
    }
    case device_lock: {
      Args<Device_LockParms> a(&xdr_Device_LockParms);
      if (!a.decode(xdr)) return Result::rpc(GARBAGE_ARGS);
      const auto& v = a.value;
      if (const auto e = mayUse(id(v.lid), v.flags, v.lock_timeout, attempt, wait))
        return Result::error(*e);
      if (wait.count()) return waiting();
      d.lock_ = id(v.lid);
      return Result::error(kNoError);
    }
    case device_unlock:
    case destroy_link: {
      Device_Link wire = 0;
      if (!xdr_Device_Link(xdr, &wire)) return Result::rpc(GARBAGE_ARGS);
      const std::uint32_t lid = id(wire);
      const auto link = d.links_.find(lid);
      if (link == d.links_.end() || link->second.owner != this) return Result::error(kInvalidLink);
      if (procedure == device_unlock && d.lock_ != lid) return Result::error(kNoLockHeld);
      if (procedure == destroy_link) d.links_.erase(link);
      d.release(lid);
      return Result::error(kNoError);
    }
    case device_docmd:
      return Result::of(proc(&xdr_Device_DocmdResp), Device_DocmdResp{kNotSupported, {0, nullptr}});
    case device_trigger:
    case device_remote:
    case device_local:
    case device_enable_srq:
    case create_intr_chan:
    case destroy_intr_chan:
      return Result::error(kNotSupported);
    default:
      return Result::rpc(PROC_UNAVAIL);
  }
}

}  // namespace vx::vxi11
