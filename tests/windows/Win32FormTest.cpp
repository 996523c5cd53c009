// The Win32 window in-process under wine, driven by real key, mouse and command messages.
#include "windows/MainForm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "board/FrontPanel.h"
#include "port/FatalError.h"
#include "startup/Startup.h"
#include "support/Support.h"
#include "windows/frmAbout.h"

namespace vx::win {
namespace {

using test::windowText;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// The window over a traced fake port that reads control 0x04 and flags 0x21, after start-up.
struct Bench : ::testing::Test {
  test::FakePortLibrary fake;
  test::TracedPort rig{fake};
  FrontPanel panel{rig.port()};
  test::RecordingMessages messages;
  NoRegistry registry;
  test::NoTools tools;
  int quits = 0;
  MainForm form{panel, {registry, tools, tools, messages}, " caption", [this] { ++quits; }};

  void SetUp() override {
    fake.dataValue = 0x21;
    test::FakeOs os;
    Startup(rig.port(), os, messages, form.portMenu()).Main();
    rig.take();
    ShowWindow(form.hwnd(), SW_SHOWNORMAL);
    SetFocus(GetWindow(form.control("cboir"), GW_CHILD));
    pump();
  }
  void pump() {
    test::pump([this](MSG& m) { return form.translateKey(m); });
  }
  // A key as the system delivers it to the focused window: key down, then its character.
  void key(WPARAM vk, char character = 0) {
    PostMessageA(GetFocus(), WM_KEYDOWN, vk, 1);
    if (character) PostMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(character), 1);
    pump();
  }
  std::string text(std::string_view name) { return windowText(form.control(name)); }
  int index(std::string_view list) {
    return static_cast<int>(SendMessageA(form.control(list), CB_GETCURSEL, 0, 0));
  }
};

TEST_F(Bench, ControlsSitAtTheirTwipsInThePanelFont) {
  const int dpi = screenDpi();
  RECT client;
  GetClientRect(form.hwnd(), &client);
  EXPECT_EQ(client.right, forms::pixels(7275, dpi));
  EXPECT_EQ(client.bottom, forms::pixels(4725, dpi));
  for (const forms::Control& c : forms::kMainForm) {
    if (c.kind == forms::Kind::Line) continue;
    SCOPED_TRACE(std::string(c.name));
    const HWND window = form.control(c.name);
    const HWND container = c.container.empty() ? form.hwnd() : form.control(c.container);
    ASSERT_EQ(GetParent(window), container);
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_THAT((std::array{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                ElementsAre(forms::pixels(c.left, dpi), forms::pixels(c.top, dpi),
                            forms::pixels(c.width, dpi), forms::pixels(c.height, dpi)));
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(font.lfWeight, c.bold ? FW_BOLD : FW_NORMAL);
    EXPECT_EQ(font.lfHeight, -MulDiv(825, dpi, 7200));
    EXPECT_EQ(text(c.name), c.text);
    EXPECT_EQ(c.kind == forms::Kind::List ? index(c.name) : -1, -1);  // no item selected
  }
}

TEST_F(Bench, FocusOrderAndMenus) {
  std::vector<std::string> order{form.nameOf(GetFocus())};
  for (int i = 0; i < 8; ++i) {
    key(VK_TAB);
    order.push_back(form.nameOf(GetFocus()));
  }
  EXPECT_THAT(order, ElementsAre("cboir", "cboAC", "cboFSEL", "cboMIO", "cboComp", "chkStandby",
                                 "cmdRead", "Text1", "cboir"));
  const HMENU bar = GetMenu(form.hwnd());
  std::vector<std::string> titles;
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    char title[32] = {};
    GetMenuStringA(bar, static_cast<UINT>(i), title, sizeof title, MF_BYPOSITION);
    titles.push_back(title);
  }
  EXPECT_THAT(titles, ElementsAre("&File", "&Printer Port", "&Waveform", "&Help"));
  const auto greyed = [bar](UINT item, UINT by) {
    return (GetMenuState(bar, item, by) & MF_GRAYED) != 0;
  };
  EXPECT_TRUE(greyed(2, MF_BYPOSITION));
  EXPECT_FALSE(greyed(kMnuLpt1, MF_BYCOMMAND));  // start-up found the port at 378h
  EXPECT_TRUE(greyed(kMnuLpt2, MF_BYCOMMAND));
  EXPECT_TRUE(greyed(kMnuPrn, MF_BYCOMMAND));
  SendMessageA(form.hwnd(), WM_COMMAND, kMnuLpt1, 0);
  EXPECT_THAT(rig.take(), IsEmpty());
}

TEST_F(Bench, ListsPickOnlyOnArrowsWheelAndMouse) {
  // Typing, Backspace, Delete, cut, paste: nothing changes and nothing is sent.
  for (char c : std::string("9a \b\x16\x18")) key('A', c);
  key(VK_DELETE);
  key(VK_INSERT);
  for (UINT message : {WM_PASTE, WM_CUT, WM_CLEAR}) SendMessageA(GetFocus(), message, 0, 0);
  EXPECT_EQ(text("cboir"), "4uA");
  EXPECT_EQ(index("cboir"), -1);
  EXPECT_THAT(rig.take(), IsEmpty());
  // One arrow step, one refresh; nothing beyond either end.
  for (WPARAM vk : {VK_UP, VK_DOWN, VK_DOWN, VK_UP, VK_UP}) key(vk);
  EXPECT_THAT(rig.latched(), ElementsAre("0x00", "0x01", "0x00"));
  EXPECT_EQ(text("cboir"), "4uA");
  // The wheel picks only while the list has the focus.
  const HWND ac = form.control("cboAC");
  SendMessageA(ac, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  EXPECT_THAT(rig.latched(), IsEmpty());
  SetFocus(GetWindow(ac, GW_CHILD));
  for (int delta : {-WHEEL_DELTA, -WHEEL_DELTA / 2, -WHEEL_DELTA / 2})
    SendMessageA(ac, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0);
  EXPECT_THAT(rig.latched(), ElementsAre("0x00", "0x40"));
  // A click on an item of the open list.
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
  pump();
  EXPECT_THAT(rig.latched(), ElementsAre("0x48"));
  EXPECT_EQ(text("cboFSEL"), "Current Force/Voltage Clamp");
  // Leaving the open list without a pick puts back what was there.
  SendMessageA(form.control("cboComp"), CB_SHOWDROPDOWN, TRUE, 0);
  SendMessageA(form.control("cboComp"), CB_SETCURSEL, 1, 0);
  SendMessageA(form.control("cboComp"), CB_SHOWDROPDOWN, FALSE, 0);
  pump();
  EXPECT_EQ(index("cboComp"), -1);
  EXPECT_EQ(text("cboComp"), "Compare MeasVout");
  EXPECT_THAT(rig.latched(), IsEmpty());
}

TEST_F(Bench, ReadStandbyAndTheirTraffic) {
  SendMessageA(form.control("cmdRead"), BM_CLICK, 0, 0);
  EXPECT_THAT(rig.take(), ElementsAreArray(test::expected("refresh-first.trace")));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(text("RdVal(" + std::to_string(i) + ")"), i == 0 || i == 5 ? "1" : "0");
  EXPECT_EQ(text("Text1"), "33");
  SendMessageA(form.control("chkStandby"), BM_CLICK, 0, 0);
  const auto trace = rig.take();
  ASSERT_EQ(trace.size(), 36u);
  EXPECT_EQ(trace[2], "OutByte 0x378 0x00");
  EXPECT_EQ(trace[7], "OutByte 0x378 0x05");  // the standby line goes out with the pulses
}

TEST_F(Bench, ExitCloseAndErrorsEndAtOnce) {
  fake.failing = true;
  key(VK_DOWN);
  EXPECT_TRUE(form.pendingError());
  EXPECT_EQ(quits, 1);
  fake.failing = false;
  SendMessageA(form.control("cmdRead"), BM_CLICK, 0, 0);
  SendMessageA(form.hwnd(), WM_COMMAND, kMnuExit, 0);
  SendMessageA(form.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(quits, 3);
  EXPECT_THAT(rig.take(), IsEmpty());
  EXPECT_EQ(text("Text1"), "");
  EXPECT_THROW(form.run(), FatalError);
}

// Closes the About dialog that the next command opens, after looking at it.
std::function<void(HWND)> aboutLook;
void CALLBACK aboutTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND about = FindWindowA("VX3340About", nullptr);
  if (!about || !IsWindowVisible(about)) return;
  KillTimer(nullptr, timer);
  aboutLook(about);
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
}
void whenAboutOpens(std::function<void(HWND)> look) {
  aboutLook = std::move(look);
  SetTimer(nullptr, 0, 10, aboutTimer);
}

TEST_F(Bench, AboutIsModalCentredAndFindsNoSystemInfo) {
  std::string caption;
  bool mainBlocked = false, okFocused = false;
  whenAboutOpens([&](HWND about) {
    caption = windowText(about);
    mainBlocked = !IsWindowEnabled(form.hwnd());
    okFocused = GetDlgCtrlID(GetFocus()) == IDOK;
  });
  SendMessageA(form.hwnd(), WM_COMMAND, kMnuAbout, 0);
  EXPECT_EQ(caption, "About VX3340 Evaluation Software");
  EXPECT_TRUE(mainBlocked && okFocused);
  EXPECT_TRUE(IsWindowEnabled(form.hwnd()));
  frmAbout about({registry, tools, tools, messages});
  EXPECT_EQ(windowText(about.control("lblVersion")), "Version 1.2.0");
  MoveWindow(about.hwnd(), 3, 4, 100, 100, FALSE);
  about.Form_Load();  // moved away, it is centred again at the next load
  RECT place;
  GetWindowRect(about.hwnd(), &place);
  EXPECT_NEAR((place.left + place.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((place.top + place.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  SendMessageA(about.control("cmdSysInfo"), BM_CLICK, 0, 0);
  EXPECT_THAT(messages.shown,
              ElementsAre(Message{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}}));
  EXPECT_TRUE(about.isOpen());
  SendMessageA(about.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(about.isOpen());
  EXPECT_THAT(rig.take(), IsEmpty());
}

// A form whose constructor fails after its window and controls exist takes them with it.
TEST(Form, AConstructorThatThrowsLeavesNoWindow) {
  struct Failing : Form {
    explicit Failing(HWND& made)
        : Form({"VX3340Failing", forms::kAbout, WS_POPUP, 0, 300, true}, "failing") {
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
