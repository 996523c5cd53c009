#include "usb/FtdiLink.h"

#include <fmt/format.h>

#include <algorithm>

#include "usb/Mpsse.h"

namespace vx {

namespace {

constexpr const char* kWiring =
    "Plug an FT232H breakout (or an FT2232H board, channel A) into a USB port and wire it to the "
    "board's DB-25: ACBUS0..7 to D0..D7 (pins 2..9) through 220 ohm resistors, ADBUS4 to nSTROBE "
    "(pin 1), ADBUS5 to nAUTOFD (14), ADBUS6 to nINIT (16), ADBUS7 to nSELECTIN (17), GND to "
    "pins 18..25. See the README's section on the USB bridge.";

}  // namespace

std::size_t chooseAdapter(const std::vector<FoundAdapter>& found, const std::string& wanted,
                          bool heldUnseen) {
  const auto named = [&](const FoundAdapter& a) {
    return !a.serial.empty() && std::ranges::count(found, a.serial, &FoundAdapter::serial) == 1;
  };
  std::vector<std::size_t> chosen;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (wanted.empty() || wanted == found[i].location || wanted == found[i].serial)
      chosen.push_back(i);
    names.push_back(named(found[i]) ? found[i].serial : found[i].location);
  }
  if (chosen.empty() && heldUnseen) throw adapterInUse();
  if (chosen.empty())
    throw UsbError(fmt::format("No FT232H USB adapter{} was found. {}",
                               wanted.empty() ? "" : " with serial number or location " + wanted,
                               kWiring));
  std::ranges::sort(names);
  if (chosen.size() > 1)
    throw UsbError(
        fmt::format("{} FT232H USB adapters are attached: {}. Choose one with --port ft232h:NAME, "
                    "NAME as listed here (its serial number, or its USB location where that names "
                    "it alone); nothing was sent to any.",
                    names.size(), fmt::join(names, ", ")));
  return chosen.front();
}

UsbError adapterInUse() {
  return UsbError(
      "The USB adapter is in use by another program. Close that program (or unplug the adapter "
      "and plug it in again) and try again.");
}

UsbError unsupportedChip(const std::string& found) {
  return UsbError(
      fmt::format("The USB adapter is {}, whose MPSSE engine lacks the FT232H's clock commands: "
                  "the bridge needs an FT232H, or an FT2232H (channel A). Nothing was sent to it.",
                  found));
}

void FtdiLink::open() {
  close();
  try {
    library_->open();
  } catch (const UsbError&) {
    close();
    throw;
  }
  open_ = true;
}

void FtdiLink::enterMpsse() {
  requireOpen();
  if (!library_->setBitMode(mpsse::kBitModeReset) || !library_->setBitMode(mpsse::kBitModeMpsse) ||
      !library_->purge()) {
    const std::string why = library_->error();
    throw UsbError(fmt::format(
        "The USB adapter would not enter MPSSE mode{}. Unplug it, plug it in again, and try again.",
        why.empty() ? "" : " (" + why + ")"));
  }
}

void FtdiLink::close() {
  library_->close();
  open_ = false;
}

void FtdiLink::requireOpen() const {
  if (!open_) throw UsbError("the adapter is not open");
}

void FtdiLink::write(std::span<const std::uint8_t> bytes) {
  requireOpen();
  library_->write(bytes);
}

// Each wait is at most what is left of the time, so none outlasts it.
std::size_t FtdiLink::read(std::span<std::uint8_t> bytes, std::chrono::milliseconds within) {
  requireOpen();
  const auto end = std::chrono::steady_clock::now() + within;
  std::size_t got = 0;
  while (got < bytes.size()) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const std::optional<std::size_t> n = library_->read(bytes.subspan(got), left);
    if (!n) break;
    got += *n;
  }
  return got;
}

}  // namespace vx
