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

inline constexpr std::size_t kSelectionCount = 6;

// In the order vx3340ctl applies them. The window's own order is its focus order.
extern const std::array<Selection, kSelectionCount> kSelections;

const Selection& selection(SelectionId id);

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
