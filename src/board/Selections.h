#pragma once

#include <array>
#include <string_view>

namespace vx {

// The front panel's lists, in list-index order, and the flag names in flag-bit order.
inline constexpr std::array<std::string_view, 7> kRangeItems{
    "4uA", "40uA", "400uA", "4mA", "40mA External", "160mA External", "Standby"};
inline constexpr std::array<std::string_view, 3> kCapItems{"Cap 0 - 3000pF", "Cap 1 - 1000pF",
                                                           "Cap 2 - 100pF"};
inline constexpr std::array<std::string_view, 2> kForceItems{"Voltage Force/Current Clamp",
                                                             "Current Force/Voltage Clamp"};
inline constexpr std::array<std::string_view, 2> kMeasureItems{"VM Amp", "IM Amp"};
inline constexpr std::array<std::string_view, 2> kCompareItems{"Compare MeasVout",
                                                               "Compare MeasIout"};
inline constexpr std::array<std::string_view, 6> kFlagNames{"CPOH",    "CPOL", "CHL-DET",
                                                            "CLL_DET", "QM4",  "QM5"};

// The Standby box's values.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kGrayed = 2;

}  // namespace vx
