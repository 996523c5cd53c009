#include "board/Selections.h"

namespace vx {

namespace {

// Each list's values in list-index order. They live in this one file, not in the header, so that
// the sanitizers fence each array and catch an index one past its end.
constexpr Choice kRange[] = {
    {"4uA", "4UA", "", "4uA"},
    {"40uA", "40UA", "", "40uA"},
    {"400uA", "400UA", "", "400uA"},
    {"4mA", "4MA", "", "4mA"},
    {"40mA External", "40MA", "", "40mA"},
    {"160mA External", "160MA", "", "160mA"},
    {"Standby", "STANDBY", "", "standby"},
};
constexpr Choice kForce[] = {
    {"Voltage Force/Current Clamp", "VOLT", "VOLTAGE", "voltage"},
    {"Current Force/Voltage Clamp", "CURR", "CURRENT", "current"},
};
constexpr Choice kComparator[] = {
    {"Compare MeasVout", "VOLT", "VOLTAGE", "voltage"},
    {"Compare MeasIout", "CURR", "CURRENT", "current"},
};
constexpr Choice kMeasure[] = {
    {"VM Amp", "VM", "", "vm"},
    {"IM Amp", "IM", "", "im"},
};
constexpr Choice kCapacitor[] = {
    {"Cap 0 - 3000pF", "0", "", "0"},
    {"Cap 1 - 1000pF", "1", "", "1"},
    {"Cap 2 - 100pF", "2", "", "2"},
};
constexpr Choice kStandby[] = {
    {"Off", "OFF", "0", "off"},
    {"On", "ON", "1", "on"},
};

}  // namespace

const std::array<Selection, kSelectionCount> kSelections{{
    {SelectionId::Range, "cboir", false, "Force/Sense Current Range", "current range",
     BoardRegister::ControlWord, word::kRange, "RANGe", "--range", "Force/sense current range",
     kRange},
    {SelectionId::Force, "cboFSEL", false, "Force/Measure", "force/measure",
     BoardRegister::ControlWord, word::kForce, "FORCe", "--force",
     "Force voltage (current clamp) or force current (voltage clamp)", kForce},
    {SelectionId::Comparator, "cboComp", false, "Comparator", "comparator",
     BoardRegister::ControlWord, word::kComparator, "COMParator", "--compare",
     "Feed the comparator the measured voltage or the measured current", kComparator},
    {SelectionId::Measure, "cboMIO", false, "MEASIOUT", "measure amplifier",
     BoardRegister::ControlWord, word::kMeasure, "MEASure", "--measure",
     "Measure output: VM or IM amplifier", kMeasure},
    {SelectionId::Capacitor, "cboAC", false, "Compensation Cap Selection", "compensation capacitor",
     BoardRegister::ControlWord, word::kCapacitor, "CAPacitor", "--cap",
     "Compensation capacitor: 0 = 3000pF, 1 = 1000pF, 2 = 100pF", kCapacitor},
    {SelectionId::Standby, "chkStandby", true, "Standby", "standby", BoardRegister::AuxWord,
     word::kStandby, "STANDby", "--standby", "The standby line", kStandby},
}};

const Selection& selection(SelectionId id) {
  for (const Selection& s : kSelections)
    if (s.id == id) return s;
  return kSelections[0];  // every id is in the table
}

}  // namespace vx
