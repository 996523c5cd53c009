#pragma once

// Windows only: a designed form's controls as native child windows, placed at their twips on the
// screen's DPI, in the panel font.

#include <windows.h>

#include <map>
#include <span>
#include <string>
#include <string_view>

#include "forms/Forms.h"

namespace vx::win {

// The screen's dots per inch: what the system scales to for a program that declares itself
// DPI-aware (96 on a screen at 100 %).
int screenDpi();

// Registers a form's window class once per process: the program's icon, the arrow cursor and
// the face colour. Throws when Windows refuses it.
void registerFormClass(const char* name, WNDPROC windowProc);

// The form object a window procedure serves: stored from CreateWindowEx's last argument at
// WM_NCCREATE, null before that and after the form has let go of its window.
template <class Form>
Form* formOf(HWND hwnd, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// "MS Sans Serif" 8.25 pt at a DPI, bold and regular, for the life of a form.
class PanelFonts {
 public:
  explicit PanelFonts(int dpi);
  ~PanelFonts();
  PanelFonts(const PanelFonts&) = delete;
  PanelFonts& operator=(const PanelFonts&) = delete;
  HFONT get(bool bold) const { return bold ? bold_ : regular_; }

 private:
  HFONT bold_;
  HFONT regular_;
};

// A form's child windows by their designed names.
class FormWindows {
 public:
  // Creates every control of the form except lines under parent, in the table's order, which is
  // the stacking order. A frame becomes a container that holds and clips its controls; the
  // control at index i of the table gets the id firstId + i. Labels are centred or left-aligned.
  FormWindows(HWND parent, std::span<const forms::Control> form, int dpi, const PanelFonts& fonts,
              int firstId, bool centredLabels);

  HWND operator[](std::string_view name) const;
  // The designed name of a child window, or of the list that owns a list's text field.
  std::string nameOf(HWND window) const;
  // The id of a designed control.
  int idOf(std::string_view name) const;

 private:
  std::span<const forms::Control> form_;
  int firstId_;
  std::map<std::string, HWND, std::less<>> windows_;
};

// The answer to WM_CTLCOLORSTATIC and WM_CTLCOLORBTN: labels, check boxes and buttons are drawn
// on the form's face colour, as in a dialog.
LRESULT onFace(WPARAM dc);

// Draws the form's lines on its client area: each in its colour, the About dialog's white rule
// two pixels wide.
void drawLines(HDC dc, std::span<const forms::Control> form, int dpi);

// Places a top-level window with the given client area, centred on the screen.
void placeCentred(HWND window, int clientWidth, int clientHeight);

}  // namespace vx::win
