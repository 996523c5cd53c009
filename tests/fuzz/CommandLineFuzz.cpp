// The command line of each program: the first byte picks vx3340ctl or the window program, the
// rest is split into arguments at NUL and newline bytes. A run either exits 2 with one line on
// stderr and no call into the port library, or runs and sends no more than its arguments asked
// for: start-up, and for vx3340ctl one refresh for each selection given and each --count read.
// Every run is traced to its standard output, which tells what reached the library.
//
// Inputs that would listen on the network, write files or run for long are left out.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "app/CtlRun.h"
#include "app/Platform.h"
#include "board/Selections.h"

namespace {

using vx::fuzz::check;

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Whether a run with these arguments stays in-process and short.
bool harmless(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    for (std::string_view option : {"--trace", "--vcd", "--serve", "--web"})
      if (startsWith(args[i], option)) return false;
    std::string_view count = args[i];
    if (count == "--count" && i + 1 < args.size())
      count = args[i + 1];
    else if (startsWith(args[i], "--count="))
      count.remove_prefix(8);
    else
      continue;
    int n = 0;
    std::from_chars(count.data(), count.data() + count.size(), n);
    if (n > 20) return false;
  }
  return true;
}

// The most refreshes vx3340ctl may run for these arguments.
int refreshesAskedFor(const std::vector<std::string>& args) {
  int selections = 0, count = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    for (const vx::Selection& s : vx::kSelections)
      if (args[i] == s.option || startsWith(args[i], std::string(s.option) + "=")) ++selections;
    if (args[i] == "--count" && i + 1 < args.size())
      count = std::max(count, std::atoi(args[i + 1].c_str()));
  }
  return selections + count;
}

int flagReads(const std::string& trace) {
  int reads = 0;
  for (const auto& line : vx::test::lines(trace)) reads += startsWith(line, "InByte 0x378 ->");
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
  if (!harmless(args)) return -1;
  args.insert(args.end(), {"--trace", "-"});
  if (data[0] & 1) {
    vx::test::GuiRun run;
    if (ranOn(run, args)) check(flagReads(run.out.str()) == 0, "the window refreshed unasked");
  } else if (vx::test::CtlRun run; ranOn(run, args)) {
    // --help and --version print and reach nothing; a run refreshes at least once.
    const bool started = run.out.str().find("GetParallelPortCount") != std::string::npos;
    const int reads = flagReads(run.out.str());
    check(started ? reads >= 1 && reads <= refreshesAskedFor(args) : reads == 0,
          "refreshes nobody asked for");
  }
  return 0;
}
