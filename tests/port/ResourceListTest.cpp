// Registry resource lists, the fuzz target's seeds (a layout byte, then the list): the I/O
// ranges each gives, in order, past other descriptors and trailing bytes; malformed ones none.
#include "port/ResourceList.h"

#include <gtest/gtest.h>

#include "support/Support.h"

namespace vx {
namespace {

TEST(ResourceList, SeedsGiveTheirPortRanges) {
  using Ranges = std::optional<std::vector<IoRange>>;
  const std::pair<const char*, Ranges> cases[] = {
      {"pcie-ecp-32", Ranges{{{0xD010, 8}, {0xD000, 8}}}},  // an interrupt between them
      {"pcie-ecp-64", Ranges{{{0xD010, 8}, {0xD000, 8}}}},
      {"lpt-data-32", Ranges{{{0x378, 8}}}},
      {"device-data-64", Ranges{{{0x278, 8}, {0x678, 8}}}},  // data, then a memory range
      {"two-full-32", Ranges{{{0x378, 8}, {0x778, 4}}}},
      {"cut-short-32", std::nullopt},
      {"cut-short-64", std::nullopt},
      {"data-too-long-64", std::nullopt},
      {"huge-count-64", std::nullopt},
  };
  for (const auto& [seed, ranges] : cases) {
    std::ifstream in(std::string(VX_TEST_DATA) + "/fuzz/resources/" + seed, std::ios::binary);
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    ASSERT_FALSE(bytes.empty()) << seed;
    const auto layout = bytes[0] & 1 ? ResourceLayout::Windows64 : ResourceLayout::Windows32;
    EXPECT_EQ(ioPortRanges(std::span(bytes).subspan(1), layout), ranges) << seed;
  }
}

}  // namespace
}  // namespace vx
