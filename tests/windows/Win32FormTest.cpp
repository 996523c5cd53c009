// The Win32 window in-process under wine, driven by real key, mouse and command messages. One
// walk through the window writes a line for each step, checked against
// tests/data/win32-form.expected.
#include "windows/MainForm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "support/Support.h"
#include "windows/frmAbout.h"

namespace vx::win {
namespace {

// Messages sent to the lists, counted: a list that sent itself a message as it handled one would
// send without end.
int sentToLists = 0;
LRESULT CALLBACK countSentToLists(int code, WPARAM w, LPARAM l) {
  char name[16] = {};
  GetClassNameA(reinterpret_cast<const CWPSTRUCT*>(l)->hwnd, name, sizeof name);
  sentToLists += lstrcmpiA(name, "ComboBox") == 0;
  return CallNextHookEx(nullptr, code, w, l);
}

// The window over a traced fake port that reads control 0x04 and flags 0x21, after start-up.
struct Window : ::testing::Test, test::WindowRig {
  MainForm form{panel, about, " caption", [this] { ++quits; }};
  std::vector<std::string> transcript;

  // A timer on the window, whose id is the test: notes the About dialog once it shows, then
  // presses Escape there.
  static void CALLBACK closeAbout(HWND window, UINT, UINT_PTR timer, DWORD) {
    const HWND about = FindWindowA("VX3340About", nullptr);
    if (!about || !IsWindowVisible(about)) return;
    KillTimer(window, timer);
    reinterpret_cast<Window*>(timer)->transcript.push_back(
        fmt::format("About: {}, main window enabled {}, focus on {}", test::windowText(about),
                    IsWindowEnabled(window), GetDlgCtrlID(GetFocus())));
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
  }

  void SetUp() override {
    startUp(form.portMenu());
    ShowWindow(form.hwnd(), SW_SHOWNORMAL);
    SetFocus(GetWindow(form.control("cboir"), GW_CHILD));
    pump();
  }
  // Handles every waiting message, the window's own keys first, as its loop does.
  void pump() {
    for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);)
      if (!form.translateKey(m)) TranslateMessage(&m), DispatchMessageA(&m);
  }
  // A key as the system delivers it to the focused window: key down, then its character.
  void key(WPARAM vk, char character = 0) {
    PostMessageA(GetFocus(), WM_KEYDOWN, vk, 1);
    if (character) PostMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(character), 1);
    pump();
  }
  // Sends a message, then notes the step.
  void send(HWND to, UINT message, WPARAM w, std::string_view step, bool all = false) {
    SendMessageA(to, message, w, 0);
    note(step, all);
  }
  std::string text(std::string_view name) { return test::windowText(form.control(name)); }
  int index(std::string_view list) {
    return static_cast<int>(SendMessageA(form.control(list), CB_GETCURSEL, 0, 0));
  }
  // Notes what a step left: the focus, each list's text and pick, Standby, the flags and Text1,
  // the quits, and the port accesses: how many, then each refresh's control word, or with all
  // every access.
  void note(std::string_view step, bool all = false) {
    pump();
    const auto trace = traced.take();
    std::string line = fmt::format("{}: focus {},", step, form.nameOf(GetFocus()));
    for (const Selection& s : kSelections)
      line += s.checkBox ? fmt::format(" {} {}", s.control,
                                       SendMessageA(form.control(s.control), BM_GETCHECK, 0, 0))
                         : fmt::format(" \"{}\" {}", text(s.control), index(s.control));
    line += ", flags ";
    for (int i = 0; i < 6; ++i) line += text(fmt::format("RdVal({})", i));
    line += fmt::format(" \"{}\", quits {}{}, sent {}", text("Text1"), quits,
                        form.pendingError() ? ", error pending" : "", trace.size());
    if (!all)
      for (const auto& word : test::controlWords(trace)) line += " " + word;
    transcript.push_back(line);
    if (all) transcript.insert(transcript.end(), trace.begin(), trace.end());
  }
};

// The controls in their places and fonts, Read, focus order, menus, what picks and what does
// not, About, Standby, then an error.
TEST_F(Window, StepsAsTheTranscriptSays) {
  RECT client;
  GetClientRect(form.hwnd(), &client);
  transcript.push_back(
      fmt::format("at {} dpi, client {} x {}", screenDpi(), client.right, client.bottom));
  // Each control: its place in its container, its font, its text and pick (-1: none).
  for (const forms::Control& c : forms::kMainForm) {
    if (c.kind == forms::Kind::Line) continue;
    const HWND window = form.control(c.name), container = GetParent(window);
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&r), 2);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    transcript.push_back(fmt::format("{} in {}: {} {} {} {}, {} {} {}, \"{}\" {}", c.name,
                                     container == form.hwnd() ? "the form" : form.nameOf(container),
                                     r.left, r.top, r.right - r.left, r.bottom - r.top,
                                     font.lfFaceName, font.lfWeight, font.lfHeight, text(c.name),
                                     c.kind == forms::Kind::List ? index(c.name) : -1));
  }
  note("start-up");
  send(form.control("cmdRead"), BM_CLICK, 0, "Read", true);
  for (int i = 0; i < 10; ++i) key(VK_TAB), note("Tab");  // round to cmdRead, on to cboir
  const HMENU bar = GetMenu(form.hwnd());
  const auto entry = [bar](UINT item, UINT by) {
    char title[32] = {};
    GetMenuStringA(bar, item, title, sizeof title, by);
    return fmt::format(" {}{}", title, GetMenuState(bar, item, by) & MF_GRAYED ? " (grey)" : "");
  };
  std::string menus = "menus:";
  for (int i = 0; i < GetMenuItemCount(bar); ++i) menus += entry(i, MF_BYPOSITION);
  for (UINT item : {kMnuLpt1, kMnuLpt2, kMnuPrn}) menus += entry(item, MF_BYCOMMAND);
  transcript.push_back(menus);
  send(form.hwnd(), WM_COMMAND, kMnuLpt1, "LPT1");
  for (char c : std::string("9a \b\x16\x18")) key('A', c);
  for (WPARAM vk : {VK_DELETE, VK_INSERT}) key(vk);
  for (UINT message : {WM_PASTE, WM_CUT, WM_CLEAR}) SendMessageA(GetFocus(), message, 0, 0);
  note("typing, Backspace, Delete, cut, paste");
  const HHOOK hook =
      SetWindowsHookExA(WH_CALLWNDPROC, countSentToLists, nullptr, GetCurrentThreadId());
  for (WPARAM vk : {VK_UP, VK_DOWN, VK_DOWN, VK_UP, VK_UP}) key(vk), note("arrow");
  UnhookWindowsHookEx(hook);
  EXPECT_LT(sentToLists, 5 * 16) << "a list sends itself messages";
  const HWND ac = form.control("cboAC");
  send(ac, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), "wheel without the focus");
  SetFocus(GetWindow(ac, GW_CHILD));
  for (int delta : {-WHEEL_DELTA, -WHEEL_DELTA / 2, -WHEEL_DELTA / 2})
    send(ac, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), "wheel");
  const HWND fsel = form.control("cboFSEL");
  SendMessageA(fsel, CB_SHOWDROPDOWN, TRUE, 0);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  GetComboBoxInfo(fsel, &info);
  RECT item;
  SendMessageA(info.hwndList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  SendMessageA(info.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(info.hwndList, WM_LBUTTONUP, 0, at);
  note("click on the open list's second item");
  SendMessageA(form.control("cboComp"), CB_SHOWDROPDOWN, TRUE, 0);
  SendMessageA(form.control("cboComp"), CB_SETCURSEL, 1, 0);
  SendMessageA(form.control("cboComp"), CB_SHOWDROPDOWN, FALSE, 0);
  note("open list left without a pick");
  SetTimer(form.hwnd(), reinterpret_cast<UINT_PTR>(this), 10, closeAbout);
  send(form.hwnd(), WM_COMMAND, kMnuAbout, "About, closed with Escape");
  frmAbout dialog(about);  // by hand: centred again at each load
  EXPECT_EQ(test::windowText(dialog.control("lblVersion")), "Version 1.2.0");
  MoveWindow(dialog.hwnd(), 3, 4, 100, 100, FALSE);
  dialog.Form_Load();
  RECT place;
  GetWindowRect(dialog.hwnd(), &place);
  EXPECT_NEAR((place.left + place.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((place.top + place.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  SendMessageA(dialog.control("cmdSysInfo"), BM_CLICK, 0, 0);
  EXPECT_THAT(messages.shown, ::testing::ElementsAre(
                                  Message{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}}));
  EXPECT_TRUE(dialog.isOpen());
  SendMessageA(dialog.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(dialog.isOpen());
  note("About by hand");
  send(form.control("chkStandby"), BM_CLICK, 0, "Standby", true);
  SetFocus(GetWindow(form.control("cboir"), GW_CHILD));
  library.failing = true;
  key(VK_DOWN);
  note("a pick on a failing port");
  library.failing = false;
  send(form.control("cmdRead"), BM_CLICK, 0, "Read after the error");
  send(form.hwnd(), WM_COMMAND, kMnuExit, "Exit");
  send(form.hwnd(), WM_CLOSE, 0, "close");
  EXPECT_THAT(transcript, ::testing::ElementsAreArray(test::expected("win32-form.expected")));
  EXPECT_THROW(form.run(), FatalError);
}

// A form whose constructor fails after its window and controls exist takes them with it.
TEST(Form, AConstructorThatThrowsLeavesNoWindow) {
  struct Failing : Form {
    explicit Failing(HWND& made)
        : Form({"VX3340Failing", forms::kAbout, WS_POPUP, 0, 300, true, 600, 400}, "failing") {
      made = hwnd();
      throw std::runtime_error("failed after the controls");
    }
    bool translateKey(MSG&) override { return false; }
    bool done() const override { return true; }
  };
  HWND made = nullptr;
  EXPECT_THROW(Failing{made}, std::runtime_error);
  EXPECT_TRUE(made && !IsWindow(made));
}

}  // namespace
}  // namespace vx::win
