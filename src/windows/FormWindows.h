#pragma once

// Windows only: a designed form as a native window: its controls as child windows, placed at
// their twips on the screen's DPI, in the panel font.

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "forms/Forms.h"

namespace vx::win {

// The screen's dots per inch: what the system scales to for a program that declares itself
// DPI-aware (96 on a screen at 100 %).
int screenDpi();

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

// A form's child windows, by their place in the form's table.
class FormWindows {
 public:
  // Creates every control of the form except lines under parent, in the table's order, which is
  // the stacking order. A frame becomes a container that holds and clips its controls; the
  // control at index i of the table gets the id firstId + i. Labels are centred or left-aligned.
  FormWindows(HWND parent, std::span<const forms::Control> form, int dpi, const PanelFonts& fonts,
              int firstId, bool centredLabels);

  HWND operator[](std::size_t index) const { return windows_.at(index); }
  HWND operator[](std::string_view name) const;
  // The designed name of a child window, or of the list that owns a list's text field.
  std::string nameOf(HWND window) const;

 private:
  std::span<const forms::Control> form_;
  std::vector<HWND> windows_;  // null for lines
};

// Destroys a form's window after unhooking it from the form, so that no message reaches an
// object that is gone or half made.
struct WindowDestroyer {
  void operator()(HWND window) const;
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// A top-level window drawn from a designed form: the window with its controls in the panel
// fonts, the form's lines, labels and buttons on the face colour, and the message loop. The
// object owns the window: destroying it, also when a derived form's constructor throws,
// destroys the window and its controls.
class Form {
 public:
  struct Design {
    const char* windowClass;
    std::span<const forms::Control> controls;
    DWORD style;
    DWORD exStyle;
    int firstId;
    bool centredLabels;
    int clientWidth, clientHeight;  // twips
  };

  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  HWND hwnd() const { return window_.get(); }
  // A control's window by its designed name, such as "cboir" or "RdVal(3)".
  HWND control(std::string_view name) const { return (*controls_)[name]; }
  std::string nameOf(HWND window) const { return controls_->nameOf(window); }
  // Takes the keys the form handles before dispatch. True when msg was one.
  virtual bool translateKey(MSG& msg) = 0;

 protected:
  // Creates the window, hidden and centred on the screen, with its controls; menu (may be null)
  // becomes the window's.
  Form(const Design& design, const std::string& caption, HMENU menu = nullptr);

  HWND control(std::size_t index) const { return (*controls_)[index]; }
  int dpi() const { return dpi_; }
  // Destroys the window; hwnd() is null from then on.
  void close() { window_.reset(); }
  // Runs the thread's messages, each through translateKey first, until done() says so (nullopt)
  // or WM_QUIT arrives (its code).
  std::optional<int> loop();
  virtual bool done() const = 0;
  // A message of the window: the face colour and the lines here, the rest to the system.
  virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);

  std::span<const forms::Control> design_;
  int dpi_;
  PanelFonts fonts_;
  OwnedWindow window_;  // after the fonts: the controls that use them go first
  std::unique_ptr<FormWindows> controls_;
};

// Places a top-level window with the given client area, centred on the screen.
void placeCentred(HWND window, int clientWidth, int clientHeight);

}  // namespace vx::win
