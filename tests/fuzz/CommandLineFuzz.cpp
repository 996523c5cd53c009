// The command line of each program: the first byte picks vx3340ctl or the window program, the
// rest is split into arguments at NUL and newline bytes. A run either exits 2 with one line on
// stderr and no call into the port library, or runs and sends no more than its arguments asked
// for: start-up, and for vx3340ctl one refresh for each selection given and each --count read.
// Every run is traced to its standard output, which tells what reached the library.
//
// Inputs that would listen on the network, write files or run for long are left out.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "app/CtlRun.h"
#include "app/Platform.h"
#include "board/Selections.h"

namespace {

using vx::fuzz::check;

// The most refreshes vx3340ctl may run for these arguments; none where the run would listen on
// the network, write files or run for long.
std::optional<long> refreshesAllowed(const std::vector<std::string>& args) {
  long selections = 0, count = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    for (std::string_view option : {"--trace", "--vcd", "--serve", "--web"})
      if (args[i].starts_with(option)) return std::nullopt;
    for (const vx::Selection& s : vx::kSelections)
      selections += args[i] == s.option || args[i].starts_with(std::string(s.option) + "=");
    if (args[i] != "--count" && !args[i].starts_with("--count=")) continue;
    std::string value = args[i].substr(std::min<std::size_t>(8, args[i].size()));
    if (value.empty() && i + 1 < args.size()) value = args[i + 1];  // "--count= 3" counts 3
    const long n = std::strtol(value.c_str(), nullptr, 0);
    if (n > 20) return std::nullopt;
    count = std::max(count, n);
  }
  return selections + count;
}

int flagReads(const std::string& trace) {
  int reads = 0;
  for (const auto& line : vx::test::lines(trace)) reads += line.starts_with("InByte 0x378 ->");
  return reads;
}

// Runs one program on a working port: bad input takes one line and reaches nothing, anything
// else succeeds. Whether the run went past its arguments.
template <class Run>
bool ranOn(Run& run, const std::vector<std::string>& args) {
  run.portOptions = vx::addPlatformPortOptions;
  const int exit = run(args);
  if (exit == vx::kExitBadInput) {
    check(vx::test::lines(run.err.str()).size() == 1, "bad input took more than one line");
    check(run.out.str().empty(), "bad input reached the port library");
    return false;
  }
  check(exit == vx::kExitOk, "a run on a working port failed");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return -1;
  std::vector<std::string> args(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0 || data[i] == '\n')
      args.emplace_back();
    else
      args.back() += static_cast<char>(data[i]);
  }
  if (size == 1) args.clear();
  const auto allowed = refreshesAllowed(args);
  if (!allowed) return -1;
  args.insert(args.end(), {"--trace", "-"});
  if (data[0] & 1) {
    vx::test::GuiRun run;
    if (ranOn(run, args)) check(flagReads(run.out.str()) == 0, "the window refreshed unasked");
  } else if (vx::test::CtlRun run; ranOn(run, args)) {
    // --help and --version print and reach nothing; a run refreshes at least once.
    const bool started = run.out.str().find("GetParallelPortCount") != std::string::npos;
    const int reads = flagReads(run.out.str());
    check(started ? reads >= 1 && reads <= *allowed : reads == 0, "refreshes nobody asked for");
  }
  return 0;
}
