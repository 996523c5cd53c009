// A refresh through the USB bridge against the FT232H model, with a modelled USB round trip:
// the bridge's queue (at most 2 writes and 1 read per refresh) beside one transfer per access.
// Each transfer waits the round trip on a busy clock; the counters give transfers per refresh.
#include <benchmark/benchmark.h>

#include <chrono>

#include "board/FrontPanel.h"
#include "port/ForwardingPortLibrary.h"
#include "support/Ft232hModel.h"
#include "usb/UsbBridge.h"

namespace {

// The model behind a USB round trip of a given length, as the link's library; EachAccess
// flushes after every access, as a bridge without a queue would. The model's record is dropped
// as it goes.
class SlowLibrary : public vx::FtdiLibrary {
 public:
  SlowLibrary(vx::test::Ft232hModel& model, std::chrono::microseconds trip)
      : model_(model), trip_(trip) {}
  void open() override {}
  void close() override {}
  bool setBitMode(std::uint8_t mode) override {
    return model_.control(0x0B, static_cast<std::uint16_t>(mode << 8)), true;
  }
  bool purge() override { return true; }
  std::string error() const override { return {}; }
  void write(std::span<const std::uint8_t> b) override {
    wait(), model_.write(b), ++transfers, model_.record.clear();
  }
  std::optional<std::size_t> read(std::span<std::uint8_t> b, std::chrono::milliseconds) override {
    std::vector<std::uint8_t> packet;
    wait(), model_.read(packet, b.size()), ++transfers, model_.record.clear();
    std::ranges::copy(packet, b.begin());
    if (packet.empty()) return std::nullopt;
    return packet.size();
  }
  long transfers = 0;

 private:
  void wait() const {
    const auto end = std::chrono::steady_clock::now() + trip_;
    while (std::chrono::steady_clock::now() < end) {
    }
  }
  vx::test::Ft232hModel& model_;
  std::chrono::microseconds trip_;
};

class EachAccess : public vx::ForwardingPortLibrary {
 public:
  using ForwardingPortLibrary::ForwardingPortLibrary;
  void OutByte(std::int32_t a, std::int32_t v) override { inner_.OutByte(a, v), inner_.flush(); }
};

// Arguments: the round trip in microseconds (125: a high-speed microframe; 1000: full speed),
// and whether each access is its own transfer.
void BM_BridgeRefresh(benchmark::State& state) {
  vx::test::Ft232hModel model({});
  auto slow = std::make_unique<SlowLibrary>(model, std::chrono::microseconds(state.range(0)));
  SlowLibrary& link = *slow;
  vx::UsbBridge bridge(std::move(slow));
  EachAccess each(bridge);
  vx::Port port(state.range(1) ? static_cast<vx::PortLibrary&>(each) : bridge);
  bridge.ClaimParallelPort(1, -1);
  port.setPortBase(0x378);
  vx::FrontPanel panel(port);
  link.transfers = 0;
  for (auto _ : state) benchmark::DoNotOptimize(panel.cmdRead_Click());
  state.counters["transfers_per_refresh"] =
      static_cast<double>(link.transfers) / static_cast<double>(state.iterations());
  state.SetLabel(state.range(1) ? "one transfer per access" : "queued");
}
BENCHMARK(BM_BridgeRefresh)->ArgsProduct({{125, 1000}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
