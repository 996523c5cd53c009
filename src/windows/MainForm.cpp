#include "windows/MainForm.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "board/FrontPanel.h"
#include "board/Selections.h"
#include "port/FatalError.h"
#include "startup/Startup.h"
#include "windows/frmAbout.h"

namespace vx::win {

namespace {

constexpr const char* kWindowClass = "VX3340MainForm";
constexpr int kFirstControlId = 100;
constexpr int kWheelStep = WHEEL_DELTA;  // one notch of a classic mouse wheel

// The Standby box's value as the panel counts it: 0 unchecked, 1 checked, 2 greyed.
int boxValue(HWND box) {
  switch (SendMessageA(box, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
      return kChecked;
    case BST_INDETERMINATE:
      return kGrayed;
    default:
      return kUnchecked;
  }
}

// The controls the code reaches, by their place in the table, found when it compiles. The flag
// displays go in the order of a reading's captions.
constexpr std::size_t kChkStandby = forms::indexOf(forms::kMainForm, "chkStandby");
constexpr std::size_t kCmdRead = forms::indexOf(forms::kMainForm, "cmdRead");
constexpr std::size_t kText1 = forms::indexOf(forms::kMainForm, "Text1");
constexpr std::array<std::size_t, 6> kFlags = {
    forms::indexOf(forms::kMainForm, "RdVal(0)"), forms::indexOf(forms::kMainForm, "RdVal(1)"),
    forms::indexOf(forms::kMainForm, "RdVal(2)"), forms::indexOf(forms::kMainForm, "RdVal(3)"),
    forms::indexOf(forms::kMainForm, "RdVal(4)"), forms::indexOf(forms::kMainForm, "RdVal(5)")};
constexpr auto kFocusOrder = forms::focusOrder<8>(forms::kMainForm);

HMENU makeMenuBar() {
  const HMENU bar = CreateMenu();
  const auto popup = [bar](const char* title,
                           std::initializer_list<std::pair<int, const char*>> items,
                           UINT flags = 0) {
    const HMENU menu = CreatePopupMenu();
    for (const auto& [id, text] : items) AppendMenuA(menu, MF_STRING, id, text);
    AppendMenuA(bar, MF_POPUP | flags, reinterpret_cast<UINT_PTR>(menu), title);
  };
  popup("&File", {{kMnuExit, "E&xit"}});
  popup("&Printer Port",
        {{kMnuLpt1, "LPT&1 (378h)"}, {kMnuLpt2, "LPT&2 (278h)"}, {kMnuPrn, "P&RN (3BCh)"}});
  popup("&Waveform", {}, MF_GRAYED);
  popup("&Help", {{kMnuAbout, "&About"}});
  return bar;
}

// A fixed single border: no sizing frame and no maximise button.
constexpr Form::Design kDesign{
    kWindowClass,
    forms::kMainForm,
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
    0,
    kFirstControlId,
    false,
    forms::kMainWidth,
    forms::kMainHeight};

}  // namespace

// A list of the selection table on its combo box, whose combo box and text field it subclasses
// for as long as it lives. Both windows point to it in their user data, which their procedure
// reads on every message without a round trip to the window server.
struct MainForm::List {
  MainForm* form;
  SelectionId id;
  std::string firstItem;
  HWND combo = nullptr;
  HWND edit = nullptr;
  WNDPROC comboProc = nullptr;
  WNDPROC editProc = nullptr;
  int picked = -1;  // the last pick; -1 until the first
  int wheelRemainder = 0;

  List(MainForm* owner, const Selection& s, HWND box)
      : form(owner),
        id(s.id),
        firstItem(s.choices[0].item),
        combo(box),
        edit(GetWindow(box, GW_CHILD)) {
    for (const Choice& choice : s.choices)
      SendMessageA(combo, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(std::string(choice.item).c_str()));
    // No item selected (as a new combo box has none), the first item's text shown.
    SetWindowTextA(combo, firstItem.c_str());
    for (HWND window : {combo, edit})
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    comboProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc)));
    editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc)));
  }
  ~List() {
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc));
    SetWindowLongPtrA(combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(comboProc));
    for (HWND window : {combo, edit}) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  }
  List(const List&) = delete;
  List& operator=(const List&) = delete;
};

MainForm::MainForm(FrontPanel& panel, AboutServices about, const std::string& caption,
                   std::function<void()> quit)
    : Form(kDesign, caption, makeMenuBar()),
      panel_(panel),
      about_(about),
      quit_(quit ? std::move(quit) : [] { PostQuitMessage(0); }) {
  menu_.bar = GetMenu(hwnd());
  for (const Selection& s : kSelections)
    if (!s.checkBox)
      lists_[static_cast<std::size_t>(s.id)] = std::make_unique<List>(this, s, control(s.control));
}

MainForm::~MainForm() = default;

int MainForm::run() {
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  UpdateWindow(hwnd());
  SetFocus(lastFocus_ ? lastFocus_ : list(SelectionId::Range).edit);
  if (shown_) std::exchange(shown_, nullptr)();
  const std::optional<int> quit = loop();
  ShowWindow(hwnd(), SW_HIDE);
  if (pendingError_) std::rethrow_exception(pendingError_);
  return quit.value_or(0);
}

bool MainForm::translateKey(MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd))) return false;
  if (msg.wParam == VK_RETURN && msg.hwnd == control(kCmdRead)) {
    SendMessageA(msg.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  if (msg.wParam != VK_TAB) return false;
  // The focus is on a control, or on a list's text field.
  const HWND focus = GetFocus();
  const auto at = std::find_if(kFocusOrder.begin(), kFocusOrder.end(), [&](std::size_t i) {
    return focus && (control(i) == focus || GetParent(focus) == control(i));
  });
  const bool back = GetKeyState(VK_SHIFT) < 0;
  std::size_t next = 0;
  if (at != kFocusOrder.end()) {
    const auto here = static_cast<std::size_t>(at - kFocusOrder.begin());
    next = (here + (back ? kFocusOrder.size() - 1 : 1)) % kFocusOrder.size();
  }
  const HWND target = control(kFocusOrder[next]);
  const HWND field = GetWindow(target, GW_CHILD);  // a list takes the focus in its text field
  SetFocus(forms::kMainForm[kFocusOrder[next]].kind == forms::Kind::List && field ? field : target);
  return true;
}

LRESULT MainForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      command(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CLOSE:
      end();
      return 0;
    case WM_ACTIVATE:
      // The focus returns to the control that had it, at first the current-range list.
      if (LOWORD(wParam) == WA_INACTIVE && IsChild(hwnd(), GetFocus())) lastFocus_ = GetFocus();
      return Form::handle(message, wParam, lParam);
    case WM_SETFOCUS:
      SetFocus(lastFocus_ ? lastFocus_ : list(SelectionId::Range).edit);
      return 0;
    default:
      return Form::handle(message, wParam, lParam);
  }
}

void MainForm::command(HWND from, int id, int code) {
  switch (id) {
    case kMnuExit:
      MnuExit_Click();
      return;
    case kMnuAbout:
      MnuAbout_Click();
      return;
    default:
      break;  // the port items have no action
  }
  if (!from) return;
  if (from == control(kChkStandby) && code == BN_CLICKED) chkStandby_Click();
  if (from == control(kCmdRead) && code == BN_CLICKED) cmdRead_Click();
  for (const auto& list : lists_)
    if (list && from == list->combo) listCommand(*list, code);
}

// A click on an item of the open list, or Enter there, is one pick. Leaving the open list any
// other way puts back what the last pick left.
void MainForm::listCommand(List& list, int code) {
  if (code == CBN_SELENDOK) {
    const auto index = static_cast<int>(SendMessageA(list.combo, CB_GETCURSEL, 0, 0));
    if (index >= 0) pick(list, index);
  } else if (code == CBN_SELENDCANCEL) {
    SendMessageA(list.combo, CB_SETCURSEL, static_cast<WPARAM>(list.picked), 0);
    if (list.picked < 0) SetWindowTextA(list.combo, list.firstItem.c_str());
  }
}

void MainForm::pick(List& list, int index) {
  SendMessageA(list.combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  list.picked = index;
  clicked(list);
}

// A list's click handler: its bits from the list index, then a refresh.
void MainForm::clicked(List& list) {
  refresh([&] {
    return panel_.select(list.id, static_cast<int>(SendMessageA(list.combo, CB_GETCURSEL, 0, 0)));
  });
}

void MainForm::step(List& list, int direction) {
  const auto current = static_cast<int>(SendMessageA(list.combo, CB_GETCURSEL, 0, 0));
  const auto count = static_cast<int>(SendMessageA(list.combo, CB_GETCOUNT, 0, 0));
  const int next = current + direction;
  if (next >= 0 && next < count) pick(list, next);
}

// A wheel notch picks only while the list has the focus, so that a stray scroll cannot switch
// the chip's mode.
void MainForm::wheel(List& list, int delta) {
  if (GetFocus() != list.edit) {
    list.wheelRemainder = 0;
    return;
  }
  list.wheelRemainder += delta;
  for (; list.wheelRemainder >= kWheelStep; list.wheelRemainder -= kWheelStep) step(list, -1);
  for (; list.wheelRemainder <= -kWheelStep; list.wheelRemainder += kWheelStep) step(list, +1);
}

// The lists and their text fields: typing changes nothing, arrows and the wheel step the list.
LRESULT CALLBACK MainForm::listProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* list = reinterpret_cast<List*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  const WNDPROC original = hwnd == list->edit ? list->editProc : list->comboProc;
  // Asked of the combo box's own procedure, and only for the keys and the wheel: sent, it would
  // come back here, again and again.
  const auto open = [list] {
    return CallWindowProcA(list->comboProc, list->combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
  };
  switch (message) {
    case WM_CHAR:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case WM_CONTEXTMENU:
      if (hwnd == list->edit) return 0;
      break;
    case WM_KEYDOWN:
      if (hwnd != list->edit) break;
      if (wParam == VK_DELETE || wParam == VK_INSERT) return 0;
      if ((wParam == VK_UP || wParam == VK_DOWN) && !open()) {
        list->form->step(*list, wParam == VK_UP ? -1 : +1);
        return 0;
      }
      if ((wParam == VK_PRIOR || wParam == VK_NEXT) && !open()) return 0;
      break;
    case WM_MOUSEWHEEL:
      if (open()) break;
      list->form->wheel(*list, GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    default:
      break;
  }
  return CallWindowProcA(original, hwnd, message, wParam, lParam);
}

MainForm::List& MainForm::list(SelectionId id) {
  return *lists_.at(static_cast<std::size_t>(id));
}

void MainForm::cboir_Click() {
  clicked(list(SelectionId::Range));
}
void MainForm::cboAC_Click() {
  clicked(list(SelectionId::Capacitor));
}
void MainForm::cboFSEL_Click() {
  clicked(list(SelectionId::Force));
}
void MainForm::cboMIO_Click() {
  clicked(list(SelectionId::Measure));
}
void MainForm::cboComp_Click() {
  clicked(list(SelectionId::Comparator));
}
void MainForm::chkStandby_Click() {
  refresh([this] { return panel_.chkStandby_Click(boxValue(control(kChkStandby))); });
}
void MainForm::cmdRead_Click() {
  refresh([this] { return panel_.cmdRead_Click(); });
}

void MainForm::MnuExit_Click() {
  end();
}

void MainForm::MnuAbout_Click() {
  if (ended_) return;
  frmAbout dialog(about_);
  dialog.showModal(hwnd());
}

void MainForm::refresh(const std::function<FlagReading()>& work) {
  if (ended_) return;  // the program is ending; nothing more goes to the port
  try {
    showReading(work());
  } catch (const PortGoneError& e) {
    // The board went away (a USB adapter pulled out): say so; the next pick tries again.
    const std::string text = std::string(e.what()) + ".\r\n\r\nPick again to reconnect.";
    MessageBoxA(hwnd(), text.c_str(), std::string(kAppTitle).c_str(), MB_OK | MB_ICONEXCLAMATION);
  } catch (...) {
    // An exception must not cross the system's message dispatch: keep it for main.
    pendingError_ = std::current_exception();
    end();
  }
}

void MainForm::showReading(const FlagReading& reading) {
  for (std::size_t a = 0; a < kFlags.size(); ++a) {
    const std::string caption(reading.captions[a]);
    SetWindowTextA(control(kFlags[a]), caption.c_str());
  }
  SetWindowTextA(control(kText1), reading.decimal.c_str());
}

void MainForm::end() {
  ended_ = true;
  quit_();
}

void MainForm::Menu::setEnabled(PortMenuItem item, bool enabled) {
  const int ids[] = {kMnuLpt1, kMnuLpt2, kMnuPrn};
  EnableMenuItem(bar, static_cast<UINT>(ids[static_cast<int>(item)]),
                 MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace vx::win
