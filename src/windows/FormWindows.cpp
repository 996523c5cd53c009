#include "windows/FormWindows.h"

#include <stdexcept>

namespace vx::win {

namespace {

constexpr const char* kFrameClass = "VX3340Frame";
constexpr int kListRows = 8;  // items the open list shows before it scrolls

// A frame's border and caption, drawn as the system draws a group box: an etched rectangle whose
// top runs through the middle of the caption.
void paintFrame(HWND frame) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(frame, &paint);
  const auto font = reinterpret_cast<HFONT>(GetWindowLongPtrA(frame, GWLP_USERDATA));
  const HGDIOBJ before = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  RECT border;
  GetClientRect(frame, &border);
  border.top += metrics.tmHeight / 2 - 1;
  DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
  char caption[256] = {};
  const int length = GetWindowTextA(frame, caption, sizeof caption);
  if (length > 0) {
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkMode(dc, OPAQUE);
    TextOutA(dc, 7, 0, caption, length);
  }
  SelectObject(dc, before);
  EndPaint(frame, &paint);
}

// A frame: a container that clips what it holds, and forwards their notifications to the form.
// Its font is in its user data: read on every paint, where a property would cost a round trip to
// the window server.
LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return SendMessageA(GetParent(frame), message, wParam, lParam);
    case WM_SETFONT:
      SetWindowLongPtrA(frame, GWLP_USERDATA, static_cast<LONG_PTR>(wParam));
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrA(frame, GWLP_USERDATA);
    case WM_PAINT:
      paintFrame(frame);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(frame, message, wParam, lParam);
}

void registerFrameClass() {
  WNDCLASSA frame{};
  if (GetClassInfoA(GetModuleHandleA(nullptr), kFrameClass, &frame)) return;
  frame.lpfnWndProc = frameProc;
  frame.hInstance = GetModuleHandleA(nullptr);
  frame.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  frame.lpszClassName = kFrameClass;
  if (!RegisterClassA(&frame)) throw std::runtime_error("cannot register the frame window class");
}

HFONT panelFont(int dpi, bool bold) {
  const std::string family(forms::kFontFamily);
  return CreateFontA(-MulDiv(forms::kFontCentipoints, dpi, 7200), 0, 0, 0,
                     bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, family.c_str());
}

// The window class and styles for a kind of control.
struct Native {
  const char* windowClass;
  DWORD style;
  DWORD exStyle;
};

Native nativeFor(forms::Kind kind, bool centred) {
  switch (kind) {
    case forms::Kind::Frame:
      return {kFrameClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    case forms::Kind::List:
      return {"COMBOBOX", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 0};
    case forms::Kind::CheckBox:
      return {"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case forms::Kind::Button:
      return {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case forms::Kind::TextField:
      return {"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case forms::Kind::Picture:
      return {"STATIC", 0, WS_EX_CLIENTEDGE};
    case forms::Kind::Label:
    case forms::Kind::Line:
      break;
  }
  return {"STATIC", static_cast<DWORD>(centred ? SS_CENTER : SS_LEFT), 0};
}

// Gives a closed list exactly its designed height: the selection field's height is what sets it.
void fitListHeight(HWND list, int height) {
  RECT rect;
  GetWindowRect(list, &rect);
  const auto field = SendMessageA(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  const auto wanted = field + height - (rect.bottom - rect.top);
  if (wanted > 0 && wanted != field)
    SendMessageA(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted);
}

// Registers a form's window class once per process: the program's icon, the arrow cursor and
// the face colour. Throws when Windows refuses it.
void registerFormClass(const char* name, WNDPROC windowProc) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  if (GetClassInfoA(instance, name, &windowClass)) return;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  if (!RegisterClassA(&windowClass))
    throw std::runtime_error(std::string("cannot register the window class ") + name);
}

// The answer to WM_CTLCOLORSTATIC and WM_CTLCOLORBTN: labels, check boxes and buttons are drawn
// on the form's face colour, as in a dialog.
LRESULT onFace(WPARAM dc) {
  SetBkColor(reinterpret_cast<HDC>(dc), GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// Draws the form's lines on its client area: each in its colour, the About dialog's white rule
// two pixels wide.
void drawLines(HDC dc, std::span<const forms::Control> form, int dpi) {
  for (const forms::Control& c : form) {
    if (c.kind != forms::Kind::Line) continue;
    // The main window's rule: window background over an inactive title bar's colour. The About
    // dialog's etched rule: grey, one pixel wide, over white, two pixels wide.
    COLORREF colour = GetSysColor(c.name == "Line2" ? COLOR_WINDOW : COLOR_INACTIVECAPTION);
    int width = 1;
    if (c.name == "Line1(1)") colour = RGB(128, 128, 128);
    if (c.name == "Line1(0)") {
      colour = RGB(255, 255, 255);
      width = 2;
    }
    const int left = forms::pixels(c.left, dpi);
    const int right = forms::pixels(c.left + c.width, dpi);
    const int top = forms::pixels(c.top, dpi);
    RECT line{left, top, right + 1, top + width};
    const HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &line, brush);
    DeleteObject(brush);
  }
}

}  // namespace

int screenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

PanelFonts::PanelFonts(int dpi) : bold_(panelFont(dpi, true)), regular_(panelFont(dpi, false)) {}

PanelFonts::~PanelFonts() {
  DeleteObject(bold_);
  DeleteObject(regular_);
}

FormWindows::FormWindows(HWND parent, std::span<const forms::Control> form, int dpi,
                         const PanelFonts& fonts, int firstId, bool centredLabels)
    : form_(form), windows_(form.size()) {
  registerFrameClass();
  for (std::size_t i = 0; i < form.size(); ++i) {
    const forms::Control& c = form[i];
    if (c.kind == forms::Kind::Line) continue;
    const HWND container = c.container.empty() ? parent : (*this)[c.container];
    const Native native = nativeFor(c.kind, centredLabels);
    const int height = forms::pixels(c.height, dpi);
    const int listHeight =
        c.kind == forms::Kind::List ? height * (kListRows + 1) : height;  // with its open list
    const std::string text(c.text);
    const std::string name(c.name);
    const HWND window = CreateWindowExA(
        native.exStyle, native.windowClass, text.c_str(),
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | native.style, forms::pixels(c.left, dpi),
        forms::pixels(c.top, dpi), forms::pixels(c.width, dpi), listHeight, container,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(firstId + static_cast<int>(i))),
        GetModuleHandleA(nullptr), nullptr);
    if (!window) throw std::runtime_error("cannot create the control " + name);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.get(c.bold)), FALSE);
    if (c.kind == forms::Kind::List) fitListHeight(window, height);
    windows_[i] = window;
  }
}

HWND FormWindows::operator[](std::string_view name) const {
  for (std::size_t i = 0; i < form_.size(); ++i)
    if (form_[i].name == name) return windows_[i];
  return nullptr;
}

std::string FormWindows::nameOf(HWND window) const {
  for (std::size_t i = 0; i < form_.size(); ++i)
    if (window && (windows_[i] == window ||
                   (form_[i].kind == forms::Kind::List && GetParent(window) == windows_[i])))
      return std::string(form_[i].name);
  return {};
}

namespace {

// The window rectangle, centred on the screen, of a window with the given client area.
RECT centredPlace(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu) {
  RECT outer{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&outer, style, menu, exStyle);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const forms::Position place =
      forms::centred(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height);
  return {place.left, place.top, place.left + width, place.top + height};
}

}  // namespace

void placeCentred(HWND window, int clientWidth, int clientHeight) {
  const RECT place = centredPlace(
      clientWidth, clientHeight, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)),
      static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)), GetMenu(window) != nullptr);
  SetWindowPos(window, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowDestroyer::operator()(HWND window) const {
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

Form::Form(const Design& design, const std::string& caption, HMENU menu)
    : design_(design.controls), dpi_(screenDpi()), fonts_(dpi_) {
  registerFormClass(design.windowClass, windowProc);
  // Made in its place at its size: moving it there afterwards costs a second layout.
  const RECT place = centredPlace(forms::pixels(design.clientWidth, dpi_),
                                  forms::pixels(design.clientHeight, dpi_), design.style,
                                  design.exStyle, menu != nullptr);
  window_.reset(CreateWindowExA(design.exStyle, design.windowClass, caption.c_str(), design.style,
                                place.left, place.top, place.right - place.left,
                                place.bottom - place.top, nullptr, menu, GetModuleHandleA(nullptr),
                                this));
  if (!window_) {
    if (menu) DestroyMenu(menu);
    throw std::runtime_error("cannot create the window " + caption);
  }
  controls_ = std::make_unique<FormWindows>(hwnd(), design.controls, dpi_, fonts_, design.firstId,
                                            design.centredLabels);
}

std::optional<int> Form::loop() {
  MSG msg;
  while (!done()) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) return got == 0 ? static_cast<int>(msg.wParam) : 0;
    if (translateKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return std::nullopt;
}

LRESULT Form::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return onFace(wParam);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(hwnd(), &paint);
      drawLines(dc, design_, dpi_);
      EndPaint(hwnd(), &paint);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd(), message, wParam, lParam);
  }
}

// The form a window serves is stored from CreateWindowEx's last argument at WM_NCCREATE. Until
// its controls exist, and after the form has let go of the window, the system handles it all.
LRESULT CALLBACK Form::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!form || !form->controls_) return DefWindowProcA(hwnd, message, wParam, lParam);
  return form->handle(message, wParam, lParam);
}

}  // namespace vx::win
