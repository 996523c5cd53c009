#pragma once

#include <array>
#include <cstdint>

namespace vx {

// The image of one 8-bit register on the board. Callers set and clear named bits and ask for
// the whole byte when it goes out on the port.
//
// Each bit holds a truth value as given (true is -1, false 0, any non-zero value counts as set);
// DataField rebuilds the byte from the bits on every read.
class Register {
 public:
  std::int32_t DataField();
  void setDataField(std::int32_t vData);

  std::int16_t bit(int n) const { return bits_[static_cast<std::size_t>(n)]; }
  void setBit(int n, std::int16_t vData) { bits_[static_cast<std::size_t>(n)] = vData; }

  std::int16_t Bit0() const { return bit(0); }
  std::int16_t Bit1() const { return bit(1); }
  std::int16_t Bit2() const { return bit(2); }
  std::int16_t Bit3() const { return bit(3); }
  std::int16_t Bit4() const { return bit(4); }
  std::int16_t Bit5() const { return bit(5); }
  std::int16_t Bit6() const { return bit(6); }
  std::int16_t Bit7() const { return bit(7); }
  void setBit0(std::int16_t vData) { setBit(0, vData); }
  void setBit1(std::int16_t vData) { setBit(1, vData); }
  void setBit2(std::int16_t vData) { setBit(2, vData); }
  void setBit3(std::int16_t vData) { setBit(3, vData); }
  void setBit4(std::int16_t vData) { setBit(4, vData); }
  void setBit5(std::int16_t vData) { setBit(5, vData); }
  void setBit6(std::int16_t vData) { setBit(6, vData); }
  void setBit7(std::int16_t vData) { setBit(7, vData); }

 private:
  std::array<std::int16_t, 8> bits_{};
  std::int32_t dataWord_ = 0;
};

inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;
inline constexpr std::int16_t truth(bool b) {
  return b ? kTrue : kFalse;
}

}  // namespace vx
