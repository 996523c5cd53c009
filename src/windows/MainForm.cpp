#include "windows/MainForm.h"

#include <algorithm>
#include <stdexcept>

#include "board/FrontPanel.h"
#include "board/Selections.h"
#include "windows/frmAbout.h"

namespace vx::win {

namespace {

constexpr const char* kWindowClass = "VX3340MainForm";
constexpr const char* kListProperty = "vx3340.list";
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

}  // namespace

struct MainForm::List {
  MainForm* form;
  std::string name;
  SelectionId id;
  std::string firstItem;
  HWND combo = nullptr;
  HWND edit = nullptr;
  WNDPROC comboProc = nullptr;
  WNDPROC editProc = nullptr;
  int picked = -1;  // the last pick; -1 until the first
  int wheelRemainder = 0;
};

MainForm::MainForm(FrontPanel& panel, AboutServices about, const std::string& caption,
                   std::function<void()> quit)
    : panel_(panel),
      about_(about),
      quit_(quit ? std::move(quit) : [] { PostQuitMessage(0); }),
      dpi_(screenDpi()),
      fonts_(dpi_) {
  registerFormClass(kWindowClass, windowProc);

  menu_.bar = CreateMenu();
  const auto popup = [this](const char* title,
                            std::initializer_list<std::pair<int, const char*>> items,
                            UINT flags = 0) {
    const HMENU menu = CreatePopupMenu();
    for (const auto& [id, text] : items) AppendMenuA(menu, MF_STRING, id, text);
    AppendMenuA(menu_.bar, MF_POPUP | flags, reinterpret_cast<UINT_PTR>(menu), title);
  };
  popup("&File", {{kMnuExit, "E&xit"}});
  popup("&Printer Port",
        {{kMnuLpt1, "LPT&1 (378h)"}, {kMnuLpt2, "LPT&2 (278h)"}, {kMnuPrn, "P&RN (3BCh)"}});
  popup("&Waveform", {}, MF_GRAYED);
  popup("&Help", {{kMnuAbout, "&About"}});

  // A fixed single border: no sizing frame and no maximise button.
  hwnd_ =
      CreateWindowExA(0, kWindowClass, caption.c_str(),
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                      menu_.bar, GetModuleHandleA(nullptr), this);
  if (!hwnd_) throw std::runtime_error("cannot create the main window");
  controls_ =
      std::make_unique<FormWindows>(hwnd_, forms::kMainForm, dpi_, fonts_, kFirstControlId, false);

  // Each list of the selection table, with its items, picks for its selection.
  for (const Selection& s : kSelections) {
    if (s.checkBox) continue;
    auto list = std::make_unique<List>();
    list->form = this;
    list->name = std::string(s.control);
    list->id = s.id;
    list->firstItem = std::string(s.choices[0].item);
    list->combo = control(list->name);
    list->edit = GetWindow(list->combo, GW_CHILD);
    for (const Choice& choice : s.choices)
      SendMessageA(list->combo, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(std::string(choice.item).c_str()));
    // No item selected, the first item's text shown.
    SendMessageA(list->combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextA(list->combo, list->firstItem.c_str());
    for (HWND window : {list->combo, list->edit}) SetPropA(window, kListProperty, list.get());
    list->comboProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list->combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc)));
    list->editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc)));
    lists_.push_back(std::move(list));
  }
  placeCentred(hwnd_, forms::pixels(forms::kMainWidth, dpi_),
               forms::pixels(forms::kMainHeight, dpi_));
}

MainForm::~MainForm() {
  for (const auto& list : lists_) {
    SetWindowLongPtrA(list->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list->editProc));
    SetWindowLongPtrA(list->combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list->comboProc));
    RemovePropA(list->edit, kListProperty);
    RemovePropA(list->combo, kListProperty);
  }
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

int MainForm::run() {
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  SetFocus(lastFocus_ ? lastFocus_ : list(SelectionId::Range).edit);
  int code = 0;
  MSG msg;
  while (!ended_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      code = got == 0 ? static_cast<int>(msg.wParam) : 0;
      break;
    }
    if (translateKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  ShowWindow(hwnd_, SW_HIDE);
  if (pendingError_) std::rethrow_exception(pendingError_);
  return code;
}

bool MainForm::translateKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  if (msg.wParam == VK_RETURN && nameOf(msg.hwnd) == "cmdRead") {
    SendMessageA(msg.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  if (msg.wParam != VK_TAB) return false;
  std::array<std::string_view, 8> order{};
  for (const forms::Control& c : forms::kMainForm)
    if (c.tab > 0) order[static_cast<std::size_t>(c.tab - 1)] = c.name;
  const auto at = std::find(order.begin(), order.end(), nameOf(GetFocus()));
  const bool back = GetKeyState(VK_SHIFT) < 0;
  std::size_t next = 0;
  if (at != order.end()) {
    const std::size_t here = static_cast<std::size_t>(at - order.begin());
    next = (here + (back ? order.size() - 1 : 1)) % order.size();
  }
  const HWND target = control(order[next]);
  const HWND field = GetWindow(target, GW_CHILD);  // a list takes the focus in its text field
  SetFocus(forms::find(forms::kMainForm, order[next])->kind == forms::Kind::List && field ? field
                                                                                          : target);
  return true;
}

LRESULT CALLBACK MainForm::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = formOf<MainForm>(hwnd, message, lParam);
  if (!form || !form->controls_) return DefWindowProcA(hwnd, message, wParam, lParam);
  return form->handle(message, wParam, lParam);
}

LRESULT MainForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CLOSE:
      end();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return onFace(wParam);
    case WM_ACTIVATE:
      // The focus returns to the control that had it, at first the current-range list.
      if (LOWORD(wParam) == WA_INACTIVE && IsChild(hwnd_, GetFocus())) lastFocus_ = GetFocus();
      return DefWindowProcA(hwnd_, message, wParam, lParam);
    case WM_SETFOCUS:
      SetFocus(lastFocus_ ? lastFocus_ : list(SelectionId::Range).edit);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(hwnd_, &paint);
      drawLines(dc, forms::kMainForm, dpi_);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd_, message, wParam, lParam);
  }
}

void MainForm::command(int id, int code) {
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
  if (id == controls_->idOf("chkStandby") && code == BN_CLICKED) chkStandby_Click();
  if (id == controls_->idOf("cmdRead") && code == BN_CLICKED) cmdRead_Click();
  for (const auto& list : lists_)
    if (id == controls_->idOf(list->name)) listCommand(*list, code);
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
  auto* list = static_cast<List*>(GetPropA(hwnd, kListProperty));
  const WNDPROC original = hwnd == list->edit ? list->editProc : list->comboProc;
  const bool open = SendMessageA(list->combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
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
      if (!open && (wParam == VK_UP || wParam == VK_DOWN)) {
        list->form->step(*list, wParam == VK_UP ? -1 : +1);
        return 0;
      }
      if (!open && (wParam == VK_PRIOR || wParam == VK_NEXT)) return 0;
      break;
    case WM_MOUSEWHEEL:
      if (open) break;
      list->form->wheel(*list, GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    default:
      break;
  }
  return CallWindowProcA(original, hwnd, message, wParam, lParam);
}

MainForm::List& MainForm::list(SelectionId id) {
  for (const auto& l : lists_)
    if (l->id == id) return *l;
  throw std::logic_error("no such list");
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
  refresh([this] { return panel_.chkStandby_Click(boxValue(control("chkStandby"))); });
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
  dialog.showModal(hwnd_);
}

void MainForm::refresh(const std::function<FlagReading()>& work) {
  if (ended_) return;  // the program is ending; nothing more goes to the port
  try {
    showReading(work());
  } catch (...) {
    // An exception must not cross the system's message dispatch: keep it for main.
    pendingError_ = std::current_exception();
    end();
  }
}

void MainForm::showReading(const FlagReading& reading) {
  for (std::size_t a = 0; a < reading.captions.size(); ++a) {
    const std::string caption(reading.captions[a]);
    SetWindowTextA(control("RdVal(" + std::to_string(a) + ")"), caption.c_str());
  }
  SetWindowTextA(control("Text1"), reading.decimal.c_str());
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
