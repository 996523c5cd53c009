#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A resource list as Windows stores it in the registry (a REG_RESOURCE_LIST value, laid out as
// CM_RESOURCE_LIST), read without Windows: the I/O port ranges it assigns to a device.
namespace vx {

struct IoRange {
  std::uint64_t start = 0;
  std::uint32_t length = 0;
  bool operator==(const IoRange&) const = default;
};

// The size of one partial resource descriptor in the Windows that wrote the list: 16 bytes on
// 32-bit Windows, 20 on 64-bit Windows, whose interrupt affinity is 64 bits wide. A 32-bit
// program on 64-bit Windows reads lists in the 64-bit layout.
enum class ResourceLayout : std::size_t { Windows32 = 16, Windows64 = 20 };

// The I/O port ranges of a resource list, in the order it lists them, or nothing when the list
// is malformed: shorter than its counts say, or with device-specific data that runs past its
// end. Bytes after the last descriptor are ignored. Never reads outside data.
std::optional<std::vector<IoRange>> ioPortRanges(std::span<const std::uint8_t> data,
                                                 ResourceLayout layout);

}  // namespace vx
