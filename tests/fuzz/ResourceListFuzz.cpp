// Bytes as a registry resource list: the first byte picks the layout (bit 0: 64-bit Windows'),
// the rest is the list. The parser never reads outside the bytes, finds no more port ranges than
// descriptors fit in them, and reads a list cut short as malformed, not as other ranges: the
// shortest prefix that parses gives the same ranges as the whole, and each shorter one none.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "Fuzz.h"
#include "port/ResourceList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vx::fuzz::check;
  if (size == 0) return 0;
  const auto layout = data[0] & 1 ? vx::ResourceLayout::Windows64 : vx::ResourceLayout::Windows32;
  std::vector<std::uint8_t> list(data + 1, data + size);
  const auto parse = [&](std::size_t length) {
    return vx::ioPortRanges(std::span(list).first(length), layout);
  };
  const auto whole = parse(list.size());
  if (!whole) return 0;
  check(whole->size() <= list.size() / static_cast<std::size_t>(layout),
        "more port ranges than descriptors fit in the list");
  // The shortest prefix that parses: every longer one holds the same list and trailing bytes.
  std::vector<std::size_t> lengths(list.size() + 1);
  std::iota(lengths.begin(), lengths.end(), std::size_t{0});
  const std::size_t low = *std::partition_point(lengths.begin(), lengths.end(),
                                                [&](std::size_t n) { return !parse(n); });
  check(parse(low) == whole, "the list's own bytes give other ranges than the whole input");
  check(low == 0 || !parse(low - 1), "a list cut short gave ranges");
  check(parse(low + (list.size() - low) / 2) == whole, "trailing bytes changed the ranges");
  list.insert(list.end(), 24, 0xA5);
  check(parse(list.size()) == whole, "bytes after the list changed the ranges");
  return 0;
}
