#include "windows/frmAbout.h"

#include <stdexcept>

#include "Version.h"

namespace vx::win {

namespace {

constexpr std::size_t kCmdSysInfo = forms::indexOf(forms::kAbout, "cmdSysInfo");
constexpr std::size_t kCmdOK = forms::indexOf(forms::kAbout, "cmdOK");
constexpr std::size_t kLblVersion = forms::indexOf(forms::kAbout, "lblVersion");
static_assert(forms::focusOrder<2>(forms::kAbout)[0] == kCmdOK);

// A fixed dialog border, without minimise and maximise buttons; shown without an owner.
constexpr Form::Design kDesign{"VX3340About",
                               forms::kAbout,
                               WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                               WS_EX_CONTROLPARENT,
                               200,
                               true,
                               forms::kAboutWidth,
                               forms::kAboutHeight};

}  // namespace

frmAbout::frmAbout(AboutServices services)
    : Form(kDesign, std::string(forms::kAboutCaption)), services_(services) {
  // OK is the default button (Enter) and the cancel button (Esc).
  SetWindowLongPtrA(control(kCmdOK), GWLP_ID, IDOK);
  SendMessageA(control(kCmdOK), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
  Form_Load();
}

void frmAbout::Form_Load() {
  const std::string version = forms::versionLabel(kVersionMajor, kVersionMinor, kVersionRevision);
  SetWindowTextA(control(kLblVersion), version.c_str());
  placeCentred(hwnd(), forms::pixels(forms::kAboutWidth, dpi()),
               forms::pixels(forms::kAboutHeight, dpi()));
}

void frmAbout::showModal(HWND blocked) {
  EnableWindow(blocked, FALSE);
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(hwnd());
  SetFocus(control(kCmdOK));
  if (const std::optional<int> quit = loop()) PostQuitMessage(*quit);
  EnableWindow(blocked, TRUE);
  SetForegroundWindow(blocked);
}

bool frmAbout::translateKey(MSG& msg) {
  if (!isOpen()) return false;
  // Enter on System Info presses it, as in every dialog; elsewhere Enter means OK.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && GetFocus() == control(kCmdSysInfo)) {
    SendMessageA(GetFocus(), BM_CLICK, 0, 0);
    return true;
  }
  return IsDialogMessageA(hwnd(), &msg) != 0;
}

void frmAbout::cmdOK_Click() {
  close();
}

void frmAbout::cmdSysInfo_Click() {
  StartSysInfo(services_.registry, services_.files, services_.launcher, services_.messages);
}

LRESULT frmAbout::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        cmdOK_Click();
      } else if (reinterpret_cast<HWND>(lParam) == control(kCmdSysInfo) &&
                 HIWORD(wParam) == BN_CLICKED) {
        cmdSysInfo_Click();
      }
      return 0;
    case WM_CLOSE:
      cmdOK_Click();
      return 0;
    default:
      return Form::handle(message, wParam, lParam);
  }
}

}  // namespace vx::win
