#pragma once

// The front panel's selections, described once for every face: the window's lists and their
// items, the register bits each one sets, its SCPI mnemonic and spellings, and its vx3340ctl
// option and values. FrontPanel sets bits from this table; the windows, the SCPI instrument,
// vx3340ctl and the web panel walk it.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "port/BoardWords.h"

namespace vx {

enum class SelectionId { Range, Force, Comparator, Measure, Capacitor, Standby };

// The board's two register images.
enum class BoardRegister { ControlWord, AuxWord };

// One value of a selection. Choice i puts the value i into the selection's field.
struct Choice {
  std::string_view item;       // the window's text for it
  std::string_view scpi;       // the SCPI spelling that a query answers with
  std::string_view scpiAlias;  // a second spelling SCPI accepts, or empty
  std::string_view cli;        // the vx3340ctl value, matched in any letter case
};

struct Selection {
  SelectionId id;
  std::string_view control;  // the window's control: a drop-down list, or the Standby box
  bool checkBox;             // the box passes its value: 1 checked sets the bit, any other clears
  std::string_view caption;  // its frame's or label's caption in the window
  std::string_view field;    // its name in the register map
  BoardRegister reg;
  std::uint8_t mask;            // its bits in the register
  std::string_view scpiNode;    // under CONFigure
  std::string_view option;      // vx3340ctl's option
  std::string_view optionHelp;  // and what it does
  std::span<const Choice> choices;
};

namespace selections {
inline constexpr Choice kRange[] = {
    {"4uA", "4UA", "", "4uA"},
    {"40uA", "40UA", "", "40uA"},
    {"400uA", "400UA", "", "400uA"},
    {"4mA", "4MA", "", "4mA"},
    {"40mA External", "40MA", "", "40mA"},
    {"160mA External", "160MA", "", "160mA"},
    {"Standby", "STANDBY", "", "standby"},
};
inline constexpr Choice kForce[] = {
    {"Voltage Force/Current Clamp", "VOLT", "VOLTAGE", "voltage"},
    {"Current Force/Voltage Clamp", "CURR", "CURRENT", "current"},
};
inline constexpr Choice kComparator[] = {
    {"Compare MeasVout", "VOLT", "VOLTAGE", "voltage"},
    {"Compare MeasIout", "CURR", "CURRENT", "current"},
};
inline constexpr Choice kMeasure[] = {
    {"VM Amp", "VM", "", "vm"},
    {"IM Amp", "IM", "", "im"},
};
inline constexpr Choice kCapacitor[] = {
    {"Cap 0 - 3000pF", "0", "", "0"},
    {"Cap 1 - 1000pF", "1", "", "1"},
    {"Cap 2 - 100pF", "2", "", "2"},
};
inline constexpr Choice kStandby[] = {
    {"Off", "OFF", "0", "off"},
    {"On", "ON", "1", "on"},
};
}  // namespace selections

// In the order vx3340ctl applies them. The window's own order is its focus order.
inline constexpr std::array<Selection, 6> kSelections{{
    {SelectionId::Range, "cboir", false, "Force/Sense Current Range", "current range",
     BoardRegister::ControlWord, word::kRange, "RANGe", "--range", "Force/sense current range",
     selections::kRange},
    {SelectionId::Force, "cboFSEL", false, "Force/Measure", "force/measure",
     BoardRegister::ControlWord, word::kForce, "FORCe", "--force",
     "Force voltage (current clamp) or force current (voltage clamp)", selections::kForce},
    {SelectionId::Comparator, "cboComp", false, "Comparator", "comparator",
     BoardRegister::ControlWord, word::kComparator, "COMParator", "--compare",
     "Feed the comparator the measured voltage or the measured current", selections::kComparator},
    {SelectionId::Measure, "cboMIO", false, "MEASIOUT", "measure amplifier",
     BoardRegister::ControlWord, word::kMeasure, "MEASure", "--measure",
     "Measure output: VM or IM amplifier", selections::kMeasure},
    {SelectionId::Capacitor, "cboAC", false, "Compensation Cap Selection", "compensation capacitor",
     BoardRegister::ControlWord, word::kCapacitor, "CAPacitor", "--cap",
     "Compensation capacitor: 0 = 3000pF, 1 = 1000pF, 2 = 100pF", selections::kCapacitor},
    {SelectionId::Standby, "chkStandby", true, "Standby", "standby", BoardRegister::AuxWord,
     word::kStandby, "STANDby", "--standby", "The standby line", selections::kStandby},
}};

constexpr const Selection& selection(SelectionId id) {
  for (const Selection& s : kSelections)
    if (s.id == id) return s;
  return kSelections[0];  // every id is in the table
}

// The flag names in flag-bit order.
inline constexpr std::array<std::string_view, 6> kFlagNames{"CPOH",    "CPOL", "CHL-DET",
                                                            "CLL_DET", "QM4",  "QM5"};

// The auxiliary word's lines besides standby, for the register map.
inline constexpr std::string_view kAux1Field = "aux line 1";
inline constexpr std::string_view kAux2Field = "aux line 2";

// The Standby box's values.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kGrayed = 2;

}  // namespace vx
