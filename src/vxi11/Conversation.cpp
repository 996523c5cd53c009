#include "vxi11/Conversation.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "scpi/Session.h"
#include "vxi11/Procedures.h"

namespace vx::vxi11 {

namespace {

constexpr std::uint32_t kLastFragment = 0x80000000U;
constexpr std::size_t kReplyOverhead = 512;

std::uint32_t word(std::string_view bytes) {
  std::uint32_t value;
  std::copy_n(bytes.data(), 4, reinterpret_cast<char*>(&value));
  return ntohl(value);
}

}  // namespace

// What one call comes to: a reply (denied for another RPC version, else accepted with what
// serving it came to), a wait for the lock, or nothing to answer and a connection to close.
struct Conversation::Result {
  enum Kind { Reply, Denied, Wait, Close } kind = Reply;
  Served served = {};
  std::chrono::milliseconds wait = {};
  std::string why = {};

  static Result rpc(accept_stat status) { return {Reply, {status}}; }
};

Conversation::~Conversation() {
  device_.closeAll(this);
}

Conversation::Out Conversation::feed(std::string_view bytes) {
  if (closed_) return {};
  unread_.append(bytes);
  if (pending_ && unread_.size() > device_.limits().maxRecord + 8192)
    return {{}, closed_ = true, "it sent on and on while its call waited"};
  return pending_ ? Out{} : run(Attempt::First);
}

// Answers the call that waits, tried again as attempt says, then the records framed after it.
Conversation::Out Conversation::run(Attempt attempt) {
  Out out;
  if (pending_ && !answer(std::string(*pending_), attempt, out)) return out;
  while (const auto record = frame(out))
    if (!answer(*record, Attempt::First, out)) break;
  return out;
}

void Conversation::close(Out& out, std::string why) {
  out.close = closed_ = true;
  out.why = std::move(why);
}

// The next whole record, or none until it has come; one over the limit closes the conversation.
std::optional<std::string> Conversation::frame(Out& out) {
  while (!closed_ && unread_.size() >= 4) {
    const std::uint32_t mark = word(unread_);
    const std::size_t length = mark & ~kLastFragment;
    if (record_.size() + length > device_.limits().maxRecord) {
      const auto line = std::string_view(unread_).substr(0, unread_.find_first_of("\r\n"));
      const bool web =
          first_ && ((unread_[0] == 0x16 && unread_[1] == 0x03) || looksLikeHttp(line));
      close(out, web ? "it sent an HTTP request or a TLS handshake, as a web page in a browser "
                       "can make it do"
                     : fmt::format("it sent a record over {} bytes", device_.limits().maxRecord));
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
    return std::exchange(record_, {});
  }
  return std::nullopt;
}

// Answers one call; false when it waits for the lock or the conversation closes.
bool Conversation::answer(const std::string& record, Attempt attempt, Out& out) {
  Call caller{{this, attempt}};
  const Result result = call(record, caller);
  if (result.kind == Result::Close) {
    close(out, result.why);
    return false;
  }
  if (result.kind == Result::Wait) {
    pending_ = record;
    waitFor_ = result.wait;
    return false;
  }
  pending_.reset();
  waitFor_.reset();
  std::string encoded = reply(record, result);
  if (encoded.empty()) {  // a reply too long for the buffer: never, as reads are capped
    close(out, "a reply could not be encoded");
    return false;
  }
  out.replies += encoded;
  return true;
}

Conversation::Result Conversation::call(const std::string& record, Call& caller) {
  // The header first, alone: a call of another RPC version gets RPC_MISMATCH, not a close.
  XDR xdr;
  xdrmem_create(&xdr, const_cast<char*>(record.data()), static_cast<u_int>(record.size()),
                XDR_DECODE);
  std::uint32_t xid = 0, direction = 1, rpcVersion = 0;
  const bool header = xdr_u_int32_t(&xdr, &xid) && xdr_u_int32_t(&xdr, &direction) &&
                      xdr_u_int32_t(&xdr, &rpcVersion);
  xdr_destroy(&xdr);
  if (!header || direction != CALL) return {Result::Close, {}, {}, "it sent no RPC call"};
  if (rpcVersion != RPC_MSG_VERSION) return {Result::Denied};

  std::array<char, MAX_AUTH_BYTES> credentials{}, verifier{};
  rpc_msg message{};
  message.rm_call.cb_cred.oa_base = credentials.data();
  message.rm_call.cb_verf.oa_base = verifier.data();
  xdrmem_create(&xdr, const_cast<char*>(record.data()), static_cast<u_int>(record.size()),
                XDR_DECODE);
  const std::unique_ptr<XDR, void (*)(XDR*)> owner(&xdr, [](XDR* x) { xdr_destroy(x); });
  if (!xdr_callmsg(&xdr, &message)) return {Result::Close, {}, {}, "it sent a bad RPC call"};
  const auto& c = message.rm_call;
  const std::uint32_t program = channel_ == Channel::Core ? kCoreProgram : kAbortProgram;
  if (c.cb_prog != program) return Result::rpc(PROG_UNAVAIL);
  if (c.cb_vers != kVersion) return Result::rpc(PROG_MISMATCH);
  const Procedure* procedure = findProcedure(program, static_cast<std::uint32_t>(c.cb_proc));
  if (!procedure) return Result::rpc(PROC_UNAVAIL);
  Result result{Result::Reply, procedure->serve(device_, caller, &xdr)};
  if (caller.wait) return {Result::Wait, {}, *caller.wait};
  return result;
}

// The reply to a call, as a record: denied for another RPC version, else accepted, with its
// result when the call succeeded. Empty when it does not fit the buffer.
std::string Conversation::reply(const std::string& call, const Result& result) const {
  rpc_msg reply{};
  reply.rm_xid = word(call);
  reply.rm_direction = REPLY;
  reply.rm_reply.rp_stat = result.kind == Result::Denied ? MSG_DENIED : MSG_ACCEPTED;
  if (result.kind == Result::Denied) {
    reply.rjcted_rply.rj_stat = RPC_MISMATCH;
    reply.rjcted_rply.rj_vers.low = RPC_MSG_VERSION;
    reply.rjcted_rply.rj_vers.high = RPC_MSG_VERSION;
  } else {
    reply.acpted_rply.ar_verf = opaque_auth{AUTH_NONE, nullptr, 0};
    reply.acpted_rply.ar_stat = result.served.status;
    if (result.served.status == PROG_MISMATCH) {
      reply.acpted_rply.ar_vers.low = kVersion;
      reply.acpted_rply.ar_vers.high = kVersion;
    } else {
      reply.acpted_rply.ar_results.where = static_cast<char*>(result.served.result.get());
      reply.acpted_rply.ar_results.proc = result.served.routine;
    }
  }
  std::string body(device_.limits().maxRead + kReplyOverhead, '\0');
  XDR xdr;
  xdrmem_create(&xdr, body.data() + 4, static_cast<u_int>(body.size() - 4), XDR_ENCODE);
  const bool encoded = xdr_replymsg(&xdr, &reply);
  const std::uint32_t length = xdr_getpos(&xdr);
  xdr_destroy(&xdr);
  if (!encoded) return {};
  const std::uint32_t mark = htonl(kLastFragment | length);
  body.replace(0, 4, reinterpret_cast<const char*>(&mark), 4);
  body.resize(4 + length);
  return body;
}

}  // namespace vx::vxi11
