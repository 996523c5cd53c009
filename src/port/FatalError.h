#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vx {

// A run-time error that ends the program. Each executable's main catches it once, shows it
// (message box or stderr) and exits.
class FatalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The port went away during the run: a USB adapter pulled out. A one-shot run ends with it; the
// sessions and the window report it and claim the port again at the next command or pick.
class PortGoneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Adds two 32-bit signed values, raising the overflow error that address sums must raise.
std::int32_t checkedAdd(std::int32_t a, std::int32_t b);
// Narrows a library result to 16 bits, raising the overflow error when it does not fit.
std::int16_t checkedNarrow(std::int32_t value);

}  // namespace vx
