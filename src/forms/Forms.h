#pragma once

// The two forms as designed, for every face that draws them: each control's kind, container,
// place in twips, text, focus order and weight. Plain data and arithmetic, no toolkit.

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vx::forms {

enum class Kind { Frame, List, Label, CheckBox, Button, TextField, Line, Picture };

struct Control {
  std::string_view name;  // as designed; control arrays as "RdVal(0)"
  Kind kind;
  std::string_view container;    // empty: the form's client area; else the frame that holds it
  int left, top, width, height;  // twips; a line runs from (left, top) to (left + width, top)
  std::string_view text;
  int tab = 0;       // place in the focus order, from 1; 0 takes no focus
  bool bold = true;  // "MS Sans Serif" 8.25 pt, bold or regular
};

inline constexpr std::string_view kFontFamily = "MS Sans Serif";
inline constexpr int kFontCentipoints = 825;

inline constexpr std::string_view kMainCaption = " VX3340 Evaluation Software";
inline constexpr int kMainWidth = 7275, kMainHeight = 4725;  // client area, twips

// The main window. Frame1 and Frame2, and what they hold, are regular; the rest is bold.
inline constexpr Control kMainForm[] = {
    {"Frame4", Kind::Frame, "", 120, 240, 2775, 1095, "Force/Sense Current Range"},
    {"cboir", Kind::List, "Frame4", 240, 360, 2295, 315, "4uA", 1},
    {"cboAC", Kind::List, "", 360, 2040, 2295, 315, "Cap 0 - 3000pF", 2},
    {"Frame3", Kind::Frame, "", 90, 1575, 2775, 1140, "Compensation Cap Selection"},
    {"Frame2", Kind::Frame, "", 3840, 240, 3375, 3255, "", 0, false},
    {"Label1", Kind::Label, "Frame2", 120, 360, 1455, 255, "Force/Measure", 0, false},
    {"cboFSEL", Kind::List, "Frame2", 120, 600, 3015, 315, "Voltage Force/Current Clamp", 3, false},
    {"Label2", Kind::Label, "Frame2", 120, 1200, 3135, 255, "MEASIOUT", 0, false},
    {"cboMIO", Kind::List, "Frame2", 120, 1440, 3015, 315, "VM Amp", 4, false},
    {"Label3", Kind::Label, "Frame2", 120, 2160, 1695, 255, "Comparator", 0, false},
    {"cboComp", Kind::List, "Frame2", 120, 2400, 3015, 315, "Compare MeasVout", 5, false},
    {"chkStandby", Kind::CheckBox, "", 4080, 3960, 1155, 255, "Standby", 6},
    {"Frame5", Kind::Frame, "", 3840, 3720, 3375, 855, ""},
    {"cmdRead", Kind::Button, "", 840, 3240, 1215, 375, "Read", 7},
    {"Frame1", Kind::Frame, "", 120, 2895, 2715, 1740, "", 0, false},
    {"Label4(0)", Kind::Label, "Frame1", 120, 840, 615, 255, "CPOH", 0, false},
    {"RdVal(0)", Kind::Label, "Frame1", 960, 840, 255, 255, "0", 0, false},
    {"Label4(1)", Kind::Label, "Frame1", 1440, 840, 975, 255, "CLL_DET", 0, false},
    {"RdVal(3)", Kind::Label, "Frame1", 2400, 840, 255, 255, "0", 0, false},
    {"Label5(0)", Kind::Label, "Frame1", 120, 1080, 615, 255, "CPOL", 0, false},
    {"RdVal(1)", Kind::Label, "Frame1", 960, 1080, 255, 255, "0", 0, false},
    {"Label5(1)", Kind::Label, "Frame1", 1440, 1080, 615, 255, "QM4", 0, false},
    {"RdVal(4)", Kind::Label, "Frame1", 2400, 1080, 255, 255, "0", 0, false},
    {"Label6(0)", Kind::Label, "Frame1", 120, 1320, 855, 255, "CHL-DET", 0, false},
    {"RdVal(2)", Kind::Label, "Frame1", 960, 1320, 255, 255, "0", 0, false},
    {"Label6(1)", Kind::Label, "Frame1", 1440, 1320, 975, 255, "QM5", 0, false},
    {"RdVal(5)", Kind::Label, "Frame1", 2400, 1320, 255, 255, "0", 0, false},
    // Below the frame's visible area: it exists and takes the focus, but nobody sees it.
    {"Text1", Kind::TextField, "Frame1", 720, 1800, 855, 375, "", 8, false},
    // A rule along the top of the client area, under the menu bar.
    {"Line2", Kind::Line, "", -465, 0, 7320, 0, ""},
    {"Line1", Kind::Line, "", 0, 0, 6240, 0, ""},
};

inline constexpr std::string_view kAboutCaption = "About VX3340 Evaluation Software";
inline constexpr int kAboutWidth = 5715, kAboutHeight = 3090;  // client area, twips

// The About dialog: every label bold and centred.
inline constexpr Control kAbout[] = {
    {"picIcon", Kind::Picture, "", 240, 240, 540, 540, ""},
    {"lblTitle", Kind::Label, "", 930, 180, 3900, 255, "VX3340 Evaluation Board Software"},
    {"lblVersion", Kind::Label, "", 960, 435, 3885, 225, "Version 2.0"},
    {"lblDescription", Kind::Label, "", 960, 840, 3885, 210,
     "Hardware and Software designed by the"},
    {"Label1", Kind::Label, "", 960, 1080, 3855, 255, "Tovern Applications Group"},
    {"Label2", Kind::Label, "", 600, 1560, 4575, 255,
     "The Latest version of all Quendrel Software"},
    {"Label3", Kind::Label, "", 960, 1800, 3855, 255, "is available from our website"},
    {"Label4", Kind::Label, "", 960, 2040, 3855, 255, "www.quendrel.example"},
    // An etched rule: grey, one pixel wide, over white, two pixels wide.
    {"Line1(1)", Kind::Line, "", 90, 2445, 5564, 0, ""},
    {"Line1(0)", Kind::Line, "", 105, 2460, 5549, 0, ""},
    {"cmdOK", Kind::Button, "", 4245, 2625, 1260, 345, "OK", 1},
    {"cmdSysInfo", Kind::Button, "", 240, 2640, 1245, 345, "&System Info...", 2},
};

// A control by its designed name.
inline std::optional<Control> find(std::span<const Control> form, std::string_view name) {
  for (const Control& c : form)
    if (c.name == name) return c;
  return std::nullopt;
}

// The place of a control in a form's table, by its designed name. Used in constant
// expressions, where a name that is not in the table does not compile.
consteval std::size_t indexOf(std::span<const Control> form, std::string_view name) {
  for (std::size_t i = 0; i < form.size(); ++i)
    if (form[i].name == name) return i;
  throw "no control of that name in the form";
}

// The focus order of a form with N controls that take the focus: their places in the table,
// first to last. Used in constant expressions, where an order with a gap, a place taken twice or
// a place beyond N does not compile.
template <std::size_t N>
consteval std::array<std::size_t, N> focusOrder(std::span<const Control> form) {
  std::array<std::size_t, N> order{};
  std::array<bool, N> taken{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < form.size(); ++i) {
    if (form[i].tab == 0) continue;
    const auto place = static_cast<std::size_t>(form[i].tab - 1);
    if (form[i].tab < 0 || place >= N || taken[place]) throw "focus order out of range or taken";
    taken[place] = true;
    order[place] = i;
    ++count;
  }
  if (count != N) throw "focus order with a gap";
  return order;
}

// Twips to pixels at a screen's dots per inch, rounded to the nearest pixel: 15 twips make a
// pixel at 96 DPI.
constexpr int pixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

// "Version 1.2.0": major, minor and revision in decimal.
inline std::string versionLabel(int major, int minor, int revision) {
  return "Version " + std::to_string(major) + "." + std::to_string(minor) + "." +
         std::to_string(revision);
}

struct Position {
  int left, top;
};

// Where a window of an outer size goes to be centred on a screen: top, then left, each half the
// space that is left, in single precision as the dialog's load step computes it.
inline Position centred(int screenWidth, int screenHeight, int width, int height) {
  const float top = (static_cast<float>(screenHeight) - static_cast<float>(height)) / 2.0f;
  const float left = (static_cast<float>(screenWidth) - static_cast<float>(width)) / 2.0f;
  return {static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top))};
}

}  // namespace vx::forms
