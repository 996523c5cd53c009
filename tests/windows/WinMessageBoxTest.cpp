// Message boxes on Windows: shown for real under wine, read back and closed by a watcher thread.
#include "windows/WinMessageBox.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace vx {
namespace {

// What a message box showed.
struct ShownBox {
  bool found = false;
  std::string text;
  HICON icon = nullptr;
};

BOOL CALLBACK readChild(HWND child, LPARAM param) {
  auto& box = *reinterpret_cast<ShownBox*>(param);
  char className[32] = {};
  GetClassNameA(child, className, sizeof className);
  if (lstrcmpiA(className, "Static") != 0) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  } else {
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) box.text = text;
  }
  return TRUE;
}

// Shows the message and returns what the box with that title showed, after pressing its OK.
ShownBox showAndRead(const Message& message) {
  ShownBox box;
  std::thread watcher([&box, &message] {
    for (int i = 0; i < 400 && !box.found; ++i) {
      if (HWND window = FindWindowA("#32770", message.title.c_str())) {
        EnumChildWindows(window, readChild, reinterpret_cast<LPARAM>(&box));
        box.found = true;
        PostMessageA(window, WM_COMMAND, IDOK, 0);
      } else {
        Sleep(50);
      }
    }
  });
  WinMessageBox().show(message);
  watcher.join();
  return box;
}

HICON systemIcon(LPCSTR id) {
  return LoadIconA(nullptr, id);
}

TEST(WinMessageBox, ShowsTheTextTitleAndIconAndWaitsForOk) {
  // wine shows windows only on an X display; scripts/test-windows runs the tests on Xvfb.
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display for wine's windows";
  const ShownBox status = showAndRead({"Windows Version:Windows 98\rPort Address:0x378",
                                       "Show Status",
                                       MessageIcon::Information,
                                       {}});
  ASSERT_TRUE(status.found);
  EXPECT_EQ(status.text, "Windows Version:Windows 98\rPort Address:0x378");
  EXPECT_EQ(status.icon, systemIcon(IDI_ASTERISK));

  const ShownBox noPort =
      showAndRead({"This PC does not appear to have a Printer Port", "GetPortAddress Error",
                   MessageIcon::Exclamation, "Check the BIOS setup."});
  ASSERT_TRUE(noPort.found);
  EXPECT_EQ(noPort.text,
            "This PC does not appear to have a Printer Port\r\n\r\nCheck the BIOS setup.");
  EXPECT_EQ(noPort.icon, systemIcon(IDI_EXCLAMATION));

  const ShownBox claim =
      showAndRead({"claim parallel port failed", "VX3340", MessageIcon::None, {}});
  ASSERT_TRUE(claim.found);
  EXPECT_EQ(claim.text, "claim parallel port failed");
  EXPECT_EQ(claim.icon, nullptr);

  const ShownBox fatal = showAndRead({"Run-time error '53': File not found: parllio.dll",
                                      "VX3340 Fatal",
                                      MessageIcon::Critical,
                                      {}});
  ASSERT_TRUE(fatal.found);
  EXPECT_EQ(fatal.icon, systemIcon(IDI_HAND));
}

}  // namespace
}  // namespace vx
