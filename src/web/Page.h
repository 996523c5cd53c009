#pragma once

// The page's files, built into the program from src/web/page: bench PCs are often offline.

#include <array>
#include <string_view>

namespace vx {

struct PageFile {
  std::string_view path;  // what the browser asks for
  std::string_view type;  // its Content-Type
  std::string_view text;
};

extern const std::array<PageFile, 3> kPageFiles;

}  // namespace vx
