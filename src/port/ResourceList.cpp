#include "port/ResourceList.h"

namespace vx {

namespace {

constexpr std::size_t kListHeader = 4;   // the number of full descriptors
constexpr std::size_t kFullHeader = 16;  // interface type, bus, version, revision, count
constexpr std::uint8_t kPortType = 1;
// Device-specific data: its size is the descriptor's first field, and the data follows it.
constexpr std::uint8_t kDeviceSpecificType = 5;

std::uint64_t littleEndian(const std::uint8_t* bytes, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

}  // namespace

std::optional<std::vector<IoRange>> ioPortRanges(std::span<const std::uint8_t> data,
                                                 ResourceLayout layout) {
  const std::size_t descriptorSize = static_cast<std::size_t>(layout);
  std::size_t at = 0;
  // Whether n more bytes follow; at never passes the end.
  const auto fits = [&](std::uint64_t n) { return n <= data.size() - at; };
  if (!fits(kListHeader)) return std::nullopt;
  const auto fullCount = littleEndian(&data[at], 4);
  at += kListHeader;
  std::vector<IoRange> ranges;
  for (std::uint64_t full = 0; full < fullCount; ++full) {
    if (!fits(kFullHeader)) return std::nullopt;
    const auto count = littleEndian(&data[at + 12], 4);
    at += kFullHeader;
    for (std::uint64_t i = 0; i < count; ++i) {
      if (!fits(descriptorSize)) return std::nullopt;
      const std::uint8_t* descriptor = &data[at];
      at += descriptorSize;
      if (descriptor[0] == kPortType) {
        ranges.push_back({littleEndian(descriptor + 4, 8),
                          static_cast<std::uint32_t>(littleEndian(descriptor + 12, 4))});
      } else if (descriptor[0] == kDeviceSpecificType) {
        const auto size = littleEndian(descriptor + 4, 4);
        if (!fits(size)) return std::nullopt;
        at += size;
      }
    }
  }
  return ranges;
}

}  // namespace vx
