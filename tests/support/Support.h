#pragma once

// The doubles and helpers the core's tests share.

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "board/FrontPanel.h"
#include "port/FatalError.h"
#include "port/Output.h"
#include "port/Port.h"
#include "port/PortLibrary.h"
#include "port/SimulatedBoard.h"
#include "port/TracingPortLibrary.h"
#include "scpi/Scpi.h"
#include "startup/Messages.h"
#include "startup/OsServices.h"
#include "startup/Startup.h"
#include "sysinfo/SysInfo.h"

namespace vx::test {

// A port library whose answers a test sets. What it was asked is seen through a trace. Like the
// real library, it fills only a record of the size it knows. While failing, every port access
// raises the run-time error that ends the program.
class FakePortLibrary : public PortLibrary {
 public:
  bool failing = false;
  bool gone = false;  // the port went away: a USB adapter pulled out
  std::int16_t claimResult = 1, infoResult = 1;
  std::int32_t baseAddress = 0x378;
  std::int32_t controlValue = 0x04;  // what a read of any register other than data gives
  std::int32_t dataValue = 0x00;     // what a read of the data register gives
  std::string reason;
  std::vector<std::int32_t> outValues;  // every OutByte value exactly as passed

  std::int16_t ClaimParallelPort(std::int32_t, std::int32_t) override { return claimResult; }
  std::int32_t GetParallelPortCount() override { return 1; }
  std::int16_t GetParallelPortInfo(std::int32_t, PortInfoRecord& info) override {
    if (info.size != 12) return 0;
    if (infoResult != 0) info.baseAddress = baseAddress;
    return infoResult;
  }
  std::int32_t InByte(std::int32_t address) override {
    return answer(), address == baseAddress ? dataValue : controlValue;
  }
  void OutByte(std::int32_t, std::int32_t value) override { answer(), outValues.push_back(value); }
  void flush() override {}
  std::string failureReason() const override { return reason; }

 private:
  void answer() const {
    if (gone) throw PortGoneError("the USB adapter went away");
    if (failing) throw FatalError("the port stopped answering");
  }
};

// A file on a disk with room for so many bytes: it takes at most 7 bytes a write, as a slow
// device may, then fails for want of space. Its text outlives it.
struct FillingSink : Sink {
  std::shared_ptr<std::string> text = std::make_shared<std::string>();
  std::size_t room = 0;
  std::size_t write(std::string_view bytes, std::error_code& error) override {
    const std::size_t n = std::min({bytes.size(), room - std::min(room, text->size()), size_t{7}});
    if (n == 0) error = std::make_error_code(std::errc::no_space_on_device);
    text->append(bytes.substr(0, n));
    return n;
  }
  std::error_code truncate(std::uint64_t size) override {
    return text->resize(size), std::error_code();
  }
  std::error_code close() override { return {}; }
};

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// A port over any library, with every call written to a trace the test can read back.
class TracedPort {
 public:
  explicit TracedPort(PortLibrary& library) : tracer_(library, trace_), port_(tracer_) {}

  Port& port() { return port_; }

  // The trace lines since the last call.
  std::vector<std::string> take() {
    auto result = lines(trace_.str());
    trace_.str({});
    return result;
  }

 private:
  std::ostringstream trace_;
  TracingPortLibrary tracer_;
  Port port_;
};

// A system without the System Information tool.
struct NoTools : FileTest, Launcher {
  bool exists(const std::string&) override { return false; }
  bool launch(const std::string&) override { return false; }
};

struct RecordingMessages : Messages {
  std::vector<Message> shown;
  void show(const Message& m) override { shown.push_back(m); }
};

// An operating system with a chosen version record and command line. A failing query leaves
// the record as it was prepared.
class FakeOs : public OsServices {
 public:
  OsVersionRecord answer;
  bool fails = false;
  std::string line;
  OsVersionRecord seen;  // the record as the query received it

  void queryVersion(OsVersionRecord& record) override {
    seen = record;
    if (fails) return;
    record = answer;
    record.dwOSVersionInfoSize = seen.dwOSVersionInfoSize;
  }
  std::string commandLine() override { return line; }
};

// The simulated board behind a traced port at 0x378, the front panel over it, and a SCPI
// instrument over the panel: what the tests of the panel's faces stand on.
struct BoardRig {
  SimulatedBoard board;
  TracedPort traced{board};
  FrontPanel panel{(traced.port().setPortBase(0x378), traced.port())};
  ScpiInstrument instrument{panel};
};

// What the window tests (Qt and Win32) stand on: a fake port that reads flag byte 0x21, traced,
// the front panel over it, the About dialog's services (no registry, no System Information tool,
// message boxes recorded), and the quits the window asked for.
struct WindowRig {
  FakePortLibrary library;
  TracedPort traced{library};
  FrontPanel panel{traced.port()};
  RecordingMessages messages;
  NoRegistry registry;
  NoTools tools;
  AboutServices about{registry, tools, tools, messages};
  int quits = 0;

  // Start-up as the program runs it, which fills the window's port menu; its accesses dropped.
  void startUp(PortMenu& menu) {
    library.dataValue = 0x21;
    FakeOs os;
    Startup(traced.port(), os, messages, menu).Main();
    traced.take();
  }
};

// Runs a script of port accesses on a library: "W37A=0F" writes 0x0F to 0x37A, "R378" reads
// 0x378. Returns the bytes read, in hex, separated by spaces.
inline std::string accesses(PortLibrary& library, const std::string& script) {
  std::istringstream in(script);
  std::string reads;
  for (std::string step; in >> step;) {
    const auto address = static_cast<std::int32_t>(std::stoul(step.substr(1, 3), nullptr, 16));
    if (step[0] == 'W')
      library.OutByte(address, static_cast<std::int32_t>(std::stol(step.substr(5), nullptr, 16)));
    else
      reads += fmt::format("{}{:02X}", reads.empty() ? "" : " ", library.InByte(address));
  }
  return reads;
}

// The control word that each refresh in a trace latched, as "0xAD": a refresh is 36 accesses, and
// the third of them writes its control word.
inline std::vector<std::string> controlWords(const std::vector<std::string>& trace) {
  std::vector<std::string> words;
  for (std::size_t i = 2; i < trace.size(); i += 36) words.push_back(trace[i].substr(14));
  return words;
}

inline std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream file(path);
  return lines({std::istreambuf_iterator<char>(file), {}});
}

// The lines of a file of expected output under tests/data.
inline std::vector<std::string> expected(const std::string& name) {
  return fileLines(std::string(VX_TEST_DATA) + "/" + name);
}

}  // namespace vx::test
