// The floor for vx3340.exe's start-up: a plain Win32 program that makes the same window as the
// main form, written the plain way. The same class, style, icon, menu bar and centred place; the
// same frames, lists with their items, labels, box, button and text field from the form's table,
// at the same places, in the same fonts; the two rules. Nothing else: no subclassing, no
// handlers. It prints the wall-clock time once the window is drawn ("first-paint NANOSECONDS").
#include <windows.h>

#include <cstdlib>
#include <string>

#include "board/Selections.h"
#include "forms/Forms.h"
#include "windows/FirstPaint.h"

namespace {

namespace forms = vx::forms;

HFONT panelFont(int dpi, bool bold) {
  const std::string family(forms::kFontFamily);
  return CreateFontA(-MulDiv(forms::kFontCentipoints, dpi, 7200), 0, 0, 0,
                     bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, family.c_str());
}

// A frame: an etched border whose top runs through its caption, holding its controls.
LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFONT) {
    SetWindowLongPtrA(frame, GWLP_USERDATA, static_cast<LONG_PTR>(wParam));
    return 0;
  }
  if (message != WM_PAINT) return DefWindowProcA(frame, message, wParam, lParam);
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(frame, &paint);
  SelectObject(dc, reinterpret_cast<HFONT>(GetWindowLongPtrA(frame, GWLP_USERDATA)));
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  RECT border;
  GetClientRect(frame, &border);
  border.top += metrics.tmHeight / 2 - 1;
  DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
  char caption[64];
  const int length = GetWindowTextA(frame, caption, sizeof caption);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  if (length > 0) TextOutA(dc, 7, 0, caption, length);
  EndPaint(frame, &paint);
  return 0;
}

// The main window: the face colour, the two rules under the menu bar, and the focus given to the
// first list (kept in its user data) whenever the window gets it, as a dialog does.
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS && GetWindowLongPtrA(window, GWLP_USERDATA)) {
    SetFocus(reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_USERDATA)));
    return 0;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    for (const forms::Control& c : forms::kMainForm) {
      if (c.kind != forms::Kind::Line) continue;
      const RECT rule{forms::pixels(c.left, dpi), forms::pixels(c.top, dpi),
                      forms::pixels(c.left + c.width, dpi) + 1, forms::pixels(c.top, dpi) + 1};
      FillRect(dc, &rule,
               GetSysColorBrush(c.name == "Line2" ? COLOR_WINDOW : COLOR_INACTIVECAPTION));
    }
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HMENU menuBar() {
  const HMENU bar = CreateMenu();
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 1, "E&xit");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "&File");
  menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 2, "LPT&1 (378h)");
  AppendMenuA(menu, MF_STRING, 3, "LPT&2 (278h)");
  AppendMenuA(menu, MF_STRING, 4, "P&RN (3BCh)");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "&Printer Port");
  AppendMenuA(bar, MF_POPUP | MF_GRAYED, reinterpret_cast<UINT_PTR>(CreatePopupMenu()),
              "&Waveform");
  menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 5, "&About");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "&Help");
  return bar;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const HFONT fonts[2] = {panelFont(dpi, false), panelFont(dpi, true)};

  WNDCLASSA windowClass{};
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpfnWndProc = frameProc;
  windowClass.lpszClassName = "frame";
  RegisterClassA(&windowClass);
  windowClass.lpfnWndProc = windowProc;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  windowClass.lpszClassName = "form";
  RegisterClassA(&windowClass);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer{0, 0, forms::pixels(forms::kMainWidth, dpi), forms::pixels(forms::kMainHeight, dpi)};
  AdjustWindowRectEx(&outer, style, TRUE, 0);
  const int width = outer.right - outer.left, height = outer.bottom - outer.top;
  const forms::Position place =
      forms::centred(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height);
  const HWND window = CreateWindowExA(
      0, "form", (std::string(forms::kMainCaption) + " (simulated board)").c_str(), style,
      place.left, place.top, width, height, nullptr, menuBar(), instance, nullptr);

  HWND made[std::size(forms::kMainForm)] = {};
  HWND focus = nullptr;
  for (std::size_t i = 0; i < std::size(forms::kMainForm); ++i) {
    const forms::Control& c = forms::kMainForm[i];
    const char* windowClass = "STATIC";
    DWORD controlStyle = SS_LEFT, exStyle = 0;
    int controlHeight = forms::pixels(c.height, dpi);
    switch (c.kind) {
      case forms::Kind::Line:
        continue;
      case forms::Kind::Frame:
        windowClass = "frame", controlStyle = WS_CLIPCHILDREN, exStyle = WS_EX_CONTROLPARENT;
        break;
      case forms::Kind::List:
        windowClass = "COMBOBOX", controlStyle = CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP;
        controlHeight *= 9;  // with its open list
        break;
      case forms::Kind::CheckBox:
        windowClass = "BUTTON", controlStyle = BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case forms::Kind::Button:
        windowClass = "BUTTON", controlStyle = BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case forms::Kind::TextField:
        windowClass = "EDIT", controlStyle = ES_AUTOHSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      default:
        break;
    }
    HWND parent = window;
    for (std::size_t j = 0; j < i; ++j)
      if (forms::kMainForm[j].name == c.container) parent = made[j];
    made[i] = CreateWindowExA(exStyle, windowClass, std::string(c.text).c_str(),
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | controlStyle,
                              forms::pixels(c.left, dpi), forms::pixels(c.top, dpi),
                              forms::pixels(c.width, dpi), controlHeight, parent,
                              reinterpret_cast<HMENU>(100 + i), instance, nullptr);
    SendMessageA(made[i], WM_SETFONT, reinterpret_cast<WPARAM>(fonts[c.bold]), FALSE);
    if (c.kind != forms::Kind::List) continue;
    for (const vx::Selection& s : vx::kSelections)
      if (s.control == c.name)
        for (const vx::Choice& choice : s.choices)
          SendMessageA(made[i], CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(std::string(choice.item).c_str()));
    SetWindowTextA(made[i], std::string(c.text).c_str());  // the first item, none selected
    if (c.tab == 1) focus = GetWindow(made[i], GW_CHILD);
  }

  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(focus));
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  vx::win::printFirstPaint();
  // Without VX3340_EXIT_ON_FIRST_PAINT it stays, to be looked at beside vx3340.exe, until closed.
  MSG msg;
  if (!std::getenv("VX3340_EXIT_ON_FIRST_PAINT"))
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
