// The floor for a line server on loopback: a bare POSIX line-echo server, one client at a time,
// one read and one write per line. bench/scpi-floor times it beside the SCPI session.
//     vx_echo_server        prints its port on the first line, then serves until killed
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

int main() {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&at), size) != 0 ||
      listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size))
    return perror("echo server"), 1;
  std::printf("%d\n", ntohs(at.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char line[4096];
    ssize_t n;
    while ((n = read(client, line, sizeof line)) > 0)
      if (write(client, line, static_cast<size_t>(n)) != n) break;
    close(client);
  }
}
