// UsbBridge in process over the FT232H model, with the simulated board on its pins: its registers
// and line rules as one transcript, tests/data/usb-bridge.expected. Each "$ SCENE: SCRIPT" there
// claims a fresh adapter of that scene (support/Ft232hModel.h), runs the accesses (Support.h's
// `accesses`) and flushes; below it come the claim's answer, the reads or the failure, the
// model's record from the claim's end on (its faults: a line let go, a read while lines float,
// the adapter and the board driving D0..D7 together) and the board's violations.
#include <gtest/gtest.h>

#include "support/Ft232hModel.h"
#include "support/Support.h"
#include "usb/UsbBridge.h"

namespace vx::test {
namespace {

// The model as the bridge's USB library: each answer comes at once, or none does.
struct ModelLibrary : FtdiLibrary {
  explicit ModelLibrary(Ft232hModel& m) : model(m) {}
  Ft232hModel& model;
  void open() override {
    if (model.pulledOut()) model.plugIn();
    model.record.push_back("usb open");
  }
  void close() override { model.record.push_back("usb close"); }
  bool setBitMode(std::uint8_t mode) override {
    return model.control(0x0B, static_cast<std::uint16_t>(mode << 8)), true;
  }
  bool purge() override { return model.control(0, 1), model.control(0, 2), true; }
  std::string error() const override { return {}; }
  void write(std::span<const std::uint8_t> bytes) override {
    if (!model.write(bytes)) throw UsbError("pulled out");
  }
  std::optional<std::size_t> read(std::span<std::uint8_t> bytes,
                                  std::chrono::milliseconds) override {
    std::vector<std::uint8_t> packet;
    if (!model.read(packet, bytes.size())) throw UsbError("pulled out");
    std::ranges::copy(packet, bytes.begin());
    return packet.empty() ? std::nullopt : std::optional(packet.size());
  }
};

// Claims the port, runs the steps ("C": claim it again, plugging a pulled-out adapter in) and
// flushes; adds what came to `out`.
void run(const std::string& scene, const std::string& script, std::vector<std::string>& out) {
  Ft232hModel model(parseScene(scene).at(0));
  UsbBridge bridge(std::make_unique<ModelLibrary>(model));
  const auto claim = [&] {
    const int claimed = bridge.ClaimParallelPort(1, -1);
    const std::string why = bridge.failureReason();
    PortInfoRecord info;
    const int found = bridge.GetParallelPortInfo(1, info);
    out.push_back(fmt::format("claim {} info {} 0x{:X}{}", claimed, found, info.baseAddress,
                              why.empty() ? "" : ": " + why));
  };
  claim();  // the record from its end on, or all of it where it failed
  const std::size_t start = out.back().starts_with("claim 1") ? model.record.size() : 0;
  std::istringstream steps(script + " F");
  std::string reads;
  for (std::string step; steps >> step;) {
    try {
      if (step == "C") claim();
      if (step == "F") bridge.flush();
      const std::string read = step.size() > 1 ? accesses(bridge, step) : "";
      reads += read.empty() ? "" : " " + read;
    } catch (const PortGoneError& e) {
      out.push_back(fmt::format("gone: {}", e.what()));
    }
  }
  if (!reads.empty()) out.push_back("reads" + reads);
  out.insert(out.end(), model.record.begin() + static_cast<std::ptrdiff_t>(start),
             model.record.end());
  for (const std::string& v : model.board.violations()) out.push_back("board: " + v);
}

TEST(UsbBridge, RegistersAndLinesAsTheTranscriptSays) {
  const std::vector<std::string> want = expected("usb-bridge.expected");
  std::vector<std::string> got;
  for (const std::string& line : want) {
    if (line.starts_with("#") || line.starts_with("$ ")) got.push_back(line);
    const std::size_t colon = line.find(':');
    if (line.starts_with("$ ")) run(line.substr(2, colon - 2), line.substr(colon + 1), got);
  }
  EXPECT_EQ(fmt::format("{}", fmt::join(got, "\n")), fmt::format("{}", fmt::join(want, "\n")));
}

// The link reaches the library's bit mode, purge, write and read only while the adapter is open:
// never opened, or closed.
TEST(FtdiLink, RefusesAdapterCallsWhileClosed) {
  Ft232hModel model({});
  FtdiLink link(std::make_unique<ModelLibrary>(model));
  std::uint8_t byte = 0;
  link.close();
  EXPECT_THROW(link.enterMpsse(), UsbError);
  EXPECT_THROW(link.write(std::span(&byte, 1)), UsbError);
  EXPECT_THROW(link.read(std::span(&byte, 1), std::chrono::milliseconds(1)), UsbError);
  EXPECT_EQ(model.record, std::vector<std::string>{"usb close"});
}

}  // namespace
}  // namespace vx::test
