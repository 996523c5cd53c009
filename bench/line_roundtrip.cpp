// Times round trips of one line to a line server on loopback: sends the line, waits for the
// answer's newline, again and again. Prints the median and the 99th percentile in microseconds.
//     vx_line_roundtrip PORT LINE [COUNT]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) return std::fprintf(stderr, "usage: %s PORT LINE [COUNT]\n", argv[0]), 2;
  const std::string line = std::string(argv[2]) + "\n";
  const int count = argc > 3 ? std::atoi(argv[3]) : 20000;
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) return perror("connect"), 1;
  std::vector<double> us;
  char answer[4096];
  for (int i = 0; i < count + count / 10; ++i) {  // the first tenth warms up
    const auto t0 = std::chrono::steady_clock::now();
    if (write(s, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      return perror("write"), 1;
    for (;;) {
      const ssize_t n = read(s, answer, sizeof answer);
      if (n <= 0) return std::fprintf(stderr, "the server closed the connection\n"), 1;
      if (answer[n - 1] == '\n') break;
    }
    if (i >= count / 10)
      us.push_back(
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(us.begin(), us.end());
  std::printf("%.1f %.1f\n", us[us.size() / 2], us[us.size() * 99 / 100]);
}
