#include "windows/frmAbout.h"

#include <stdexcept>

#include "Version.h"

namespace vx::win {

namespace {

constexpr const char* kWindowClass = "VX3340About";
constexpr int kFirstControlId = 200;

}  // namespace

frmAbout::frmAbout(AboutServices services) : services_(services), dpi_(screenDpi()), fonts_(dpi_) {
  registerFormClass(kWindowClass, windowProc);
  const std::string caption(forms::kAboutCaption);
  // A fixed dialog border, without minimise and maximise buttons; shown without an owner.
  hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, kWindowClass, caption.c_str(),
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr,
                          nullptr, GetModuleHandleA(nullptr), this);
  if (!hwnd_) throw std::runtime_error("cannot create the About dialog");
  controls_ =
      std::make_unique<FormWindows>(hwnd_, forms::kAbout, dpi_, fonts_, kFirstControlId, true);
  // OK is the default button (Enter) and the cancel button (Esc).
  SetWindowLongPtrA(control("cmdOK"), GWLP_ID, IDOK);
  SendMessageA(control("cmdOK"), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
  Form_Load();
}

frmAbout::~frmAbout() {
  if (hwnd_) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void frmAbout::Form_Load() {
  const std::string version = forms::versionLabel(kVersionMajor, kVersionMinor, kVersionRevision);
  SetWindowTextA(control("lblVersion"), version.c_str());
  placeCentred(hwnd_, forms::pixels(forms::kAboutWidth, dpi_),
               forms::pixels(forms::kAboutHeight, dpi_));
}

void frmAbout::showModal(HWND blocked) {
  EnableWindow(blocked, FALSE);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  SetFocus(control("cmdOK"));
  MSG msg;
  while (isOpen()) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (translateKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  EnableWindow(blocked, TRUE);
  SetForegroundWindow(blocked);
}

bool frmAbout::translateKey(MSG& msg) {
  if (!isOpen()) return false;
  // Enter on System Info presses it, as in every dialog; elsewhere Enter means OK.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && GetFocus() == control("cmdSysInfo")) {
    SendMessageA(GetFocus(), BM_CLICK, 0, 0);
    return true;
  }
  return IsDialogMessageA(hwnd_, &msg) != 0;
}

void frmAbout::cmdOK_Click() {
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

void frmAbout::cmdSysInfo_Click() {
  StartSysInfo(services_.registry, services_.files, services_.launcher, services_.messages);
}

LRESULT CALLBACK frmAbout::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = formOf<frmAbout>(hwnd, message, lParam);
  if (!dialog || !dialog->controls_) return DefWindowProcA(hwnd, message, wParam, lParam);
  switch (message) {
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        dialog->cmdOK_Click();
      } else if (LOWORD(wParam) == dialog->controls_->idOf("cmdSysInfo") &&
                 HIWORD(wParam) == BN_CLICKED) {
        dialog->cmdSysInfo_Click();
      }
      return 0;
    case WM_CLOSE:
      dialog->cmdOK_Click();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return onFace(wParam);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(hwnd, &paint);
      drawLines(dc, forms::kAbout, dialog->dpi_);
      EndPaint(hwnd, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace vx::win
