#include "vxi11/Portmapper.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/rpc.h>
#include <rpc/rpcb_prot.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace vx::vxi11 {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = Portmapper::Deadline;

// libtirpc takes every XDR routine as xdrproc_t.
template <class F>
xdrproc_t routine(F* f) {
  return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

// Milliseconds left until deadline; at least 1, so that a wait still looks once.
int msLeft(Deadline deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 1, 60000));
}

// Holds SIGPIPE back on this thread while libtirpc writes to a socket that the other end (or
// interrupt()) may have closed; one that came is taken, so that it does not end the program.
class NoBrokenPipe {
 public:
  NoBrokenPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~NoBrokenPipe() {
    sigset_t pending;
    const timespec now{};
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) && !sigismember(&old_, SIGPIPE))
      sigtimedwait(&pipe_, nullptr, &now);
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  NoBrokenPipe(const NoBrokenPipe&) = delete;
  NoBrokenPipe& operator=(const NoBrokenPipe&) = delete;

 private:
  sigset_t pipe_, old_;
};

// One RPC call over a connection of its own, through libtirpc, within a deadline. The socket is
// ours, so that interrupt() can shut it from another thread.
class SystemPortmapper final : public Portmapper {
 public:
  Mapping lookup(std::uint32_t program, std::uint32_t version, Deadline deadline) override {
    // The whole list: rpcbind answers a lookup over its Unix socket for that transport only.
    rpcblist_ptr list = nullptr;
    rpcbind(RPCBPROC_DUMP, routine(&xdr_void), nullptr, routine(&xdr_rpcblist_ptr), &list,
            deadline);
    Mapping found;
    for (const rp__list* entry = list; entry; entry = entry->rpcb_next) {
      const rpcb& m = entry->rpcb_map;
      // A universal address: the IPv4 address's four numbers, then the port's two bytes.
      unsigned a[4], high, low;
      if (m.r_prog != program || m.r_vers != version || std::strcmp(m.r_netid, "tcp") != 0 ||
          std::sscanf(m.r_addr, "%u.%u.%u.%u.%u.%u", &a[0], &a[1], &a[2], &a[3], &high, &low) != 6)
        continue;
      found.address = fmt::format("{}.{}.{}.{}", a[0], a[1], a[2], a[3]);
      found.port = static_cast<std::uint16_t>((high & 0xFF) << 8 | (low & 0xFF));
      found.owner = m.r_owner ? m.r_owner : "";
    }
    xdr_free(routine(&xdr_rpcblist_ptr), &list);
    return found;
  }

  bool set(std::uint32_t program, std::uint32_t version, const Mapping& at,
           Deadline deadline) override {
    std::string address = fmt::format("{}.{}.{}", at.address, at.port >> 8, at.port & 0xFF);
    return change(RPCBPROC_SET, program, version, address.data(), deadline);
  }

  bool unset(std::uint32_t program, std::uint32_t version, Deadline deadline) override {
    char none[] = "";
    return change(RPCBPROC_UNSET, program, version, none, deadline);
  }

  bool answers(const Mapping& at, std::uint32_t program, std::uint32_t version,
               Deadline deadline) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(at.port);
    if (inet_pton(AF_INET, at.address == "0.0.0.0" ? "127.0.0.1" : at.address.c_str(),
                  &to.sin_addr) != 1)
      return false;
    return call(reinterpret_cast<const sockaddr*>(&to), sizeof to, program, version, NULLPROC,
                routine(&xdr_void), nullptr, routine(&xdr_void), nullptr,
                deadline) == Reached::Answered;
  }

  void interrupt() override {
    const std::lock_guard lock(mutex_);
    interrupted_ = true;
    if (current_ >= 0) ::shutdown(current_, SHUT_RDWR);
  }

  void resume() override {
    const std::lock_guard lock(mutex_);
    interrupted_ = false;
  }

 private:
  enum class Reached { Answered, Nothing, Silent, Interrupted, Failed };

  bool change(std::uint32_t procedure, std::uint32_t program, std::uint32_t version, char* address,
              Deadline deadline) {
    char tcp[] = "tcp", none[] = "";
    rpcb args{program, version, tcp, address, none};
    bool_t done = FALSE;
    rpcbind(procedure, routine(&xdr_rpcb), &args, routine(&xdr_bool), &done, deadline);
    return done;
  }

  // A call to the local rpcbind over its Unix socket, or, where that is missing, its port on
  // loopback, as libtirpc's own calls find it.
  void rpcbind(std::uint32_t procedure, xdrproc_t encode, void* args, xdrproc_t decode,
               void* result, Deadline deadline) {
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    std::strncpy(local.sun_path, _PATH_RPCBINDSOCK, sizeof local.sun_path - 1);
    const auto waited = std::chrono::ceil<std::chrono::seconds>(deadline - Clock::now());
    Reached reached = call(reinterpret_cast<const sockaddr*>(&local), sizeof local, RPCBPROG,
                           RPCBVERS, procedure, encode, args, decode, result, deadline);
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_port = htons(PMAPPORT);
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (reached == Reached::Nothing)
      reached = call(reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback, RPCBPROG,
                     RPCBVERS, procedure, encode, args, decode, result, deadline);
    switch (reached) {
      case Reached::Answered:
        return;
      case Reached::Nothing:
        throw std::runtime_error("no portmapper (rpcbind) runs here");
      case Reached::Silent:
        throw std::runtime_error(
            fmt::format("the portmapper (rpcbind) did not answer within {} s", waited.count()));
      case Reached::Interrupted:
        throw std::runtime_error("the session ended before the portmapper (rpcbind) answered");
      case Reached::Failed:
        throw std::runtime_error("the portmapper (rpcbind) failed to answer");
    }
  }

  Reached call(const sockaddr* to, socklen_t size, std::uint32_t program, std::uint32_t version,
               std::uint32_t procedure, xdrproc_t encode, void* args, xdrproc_t decode,
               void* result, Deadline deadline) {
    const int fd = ::socket(to->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Reached::Failed;
    {
      const std::lock_guard lock(mutex_);
      if (interrupted_) {
        ::close(fd);
        return Reached::Interrupted;
      }
      current_ = fd;
    }
    Reached reached =
        exchange(fd, to, size, program, version, procedure, encode, args, decode, result, deadline);
    {
      const std::lock_guard lock(mutex_);
      current_ = -1;
      if (interrupted_ && reached != Reached::Answered) reached = Reached::Interrupted;
    }
    ::close(fd);
    return reached;
  }

  Reached exchange(int fd, const sockaddr* to, socklen_t size, std::uint32_t program,
                   std::uint32_t version, std::uint32_t procedure, xdrproc_t encode, void* args,
                   xdrproc_t decode, void* result, Deadline deadline) {
    if (::connect(fd, to, size) != 0) {
      // A Unix socket whose listener takes no more connections says EAGAIN: it does not answer.
      if (errno == EAGAIN) return Reached::Silent;
      if (errno != EINPROGRESS) return Reached::Nothing;
      pollfd connecting{fd, POLLOUT, 0};
      if (::poll(&connecting, 1, msLeft(deadline)) != 1) return Reached::Silent;
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return Reached::Nothing;
    }
    netbuf address{size, size, const_cast<sockaddr*>(to)};
    CLIENT* client = clnt_vc_create(fd, &address, program, version, 0, 0);
    if (!client) return Reached::Failed;
    const int ms = msLeft(deadline);
    const timeval wait{ms / 1000, ms % 1000 * 1000};
    clnt_stat status;
    {
      const NoBrokenPipe quiet;
      status = clnt_call(client, procedure, encode, static_cast<char*>(args), decode,
                         static_cast<char*>(result), wait);
    }
    clnt_destroy(client);
    return status == RPC_SUCCESS    ? Reached::Answered
           : status == RPC_TIMEDOUT ? Reached::Silent
                                    : Reached::Failed;
  }

  std::mutex mutex_;
  int current_ = -1;  // the socket of the call under way
  bool interrupted_ = false;
};

}  // namespace

std::unique_ptr<Portmapper> makeSystemPortmapper() {
  return std::make_unique<SystemPortmapper>();
}

}  // namespace vx::vxi11
