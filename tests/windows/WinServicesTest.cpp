// The Windows services against wine's real registry, files, processes and message boxes; and the
// port libraries' bindings against the DLL doubles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "WinTestSupport.h"
#include "startup/Startup.h"
#include "support/Support.h"
#include "windows/InpOutLibrary.h"
#include "windows/ParllioLibrary.h"
#include "windows/WinMessageBox.h"
#include "windows/WinOsServices.h"
#include "windows/WinSysServices.h"

namespace vx {
namespace {

TEST(WinOsServices, ArgumentsAfterTheProgramNameAndTheVersionQuery) {
  // clang-format off
  const std::pair<const char*, const char*> lines[] = {
      {"vx3340ctl.exe /SS", "/SS"},         {"vx3340ctl.exe\t -x  /ss ", "-x  /ss "},
      {"C:\\VX\\vx3340.exe", ""},           {"\"C:\\Program Files\\VX 3340\\vx3340.exe\" a/Ssb", "a/Ssb"},
      {"\"C:\\VX\\vx3340.exe\"/SS", "/SS"}, {"\"vx 3340.exe\" \"/S S\" x", "\"/S S\" x"},
      {"\"unterminated name /SS", ""},     {"", ""},
  };
  // clang-format on
  for (const auto& [line, arguments] : lines) EXPECT_EQ(argumentsAfterProgramName(line), arguments);
  OsVersionRecord record;  // size 0: the system refuses the query and the record stays as it was
  WinOsServices().queryVersion(record);
  EXPECT_EQ(versionText(record), "Failed");
  record.dwOSVersionInfoSize = sizeof record;
  std::memset(record.szCSDVersion, ' ', sizeof record.szCSDVersion);
  WinOsServices().queryVersion(record);
  // The caller's size stays, and the text ends within the record; the numbers that the query
  // copies show in vx3340ctl.exe's runs (windows.ctl), one Windows version each.
  EXPECT_EQ(record.dwOSVersionInfoSize, 148u);
  EXPECT_NE(std::memchr(record.szCSDVersion, '\0', sizeof record.szCSDVersion), nullptr);
}

// The registry's own part; GetKeyValue's rules are tested on a fake registry.
TEST(WinRegistry, OpensQueriesAndClosesWithReadRights) {
  const char* path = "Software\\VX3340 Tests";
  // Eight bytes with no terminating zero; a non-zero byte after them keeps it so.
  RegSetKeyValueA(HKEY_CURRENT_USER, path, "PATH", REG_SZ, "C:\\ToolsX", 8);
  WinRegistry registry;
  std::string value = "old";
  EXPECT_TRUE(GetKeyValue(registry, 0x80000001, path, "PATH", value));
  EXPECT_EQ(value, "C:\\Tools");
  const auto opened = registry.open(0x80000001, path, kKeyRead);
  ASSERT_TRUE(opened);
  std::uint8_t buffer[8] = {};
  std::uint32_t size = 8, type = 0;
  EXPECT_TRUE(registry.query(*opened, "PATH", &type, buffer, &size));  // exactly its size
  EXPECT_EQ(type, kRegSz);
  size = 7;
  EXPECT_FALSE(registry.query(*opened, "PATH", &type, buffer, &size));
  EXPECT_FALSE(registry.query(*opened, "MISSING", &type, buffer, &size));
  registry.close(*opened);
  RegDeleteTreeA(HKEY_CURRENT_USER, path);
  EXPECT_FALSE(registry.open(0x80000001, path, kKeyRead));
}

TEST(WinSysServices, FileTestAndLauncherTakeExactlyThePath) {
  const std::string dir = test::programFolder() + "sysservices";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir + "\\directory.exe");
  const auto file = [&dir](const char* name, DWORD attributes) {
    std::ofstream(dir + "\\" + name) << "x";
    SetFileAttributesA((dir + "\\" + name).c_str(), attributes);
    return dir + "\\" + name;
  };
  WinFileTest files;
  EXPECT_TRUE(files.exists(file("MSINFO32.EXE", FILE_ATTRIBUTE_NORMAL)));
  EXPECT_TRUE(files.exists(file("readonly.exe", FILE_ATTRIBUTE_READONLY)));
  for (const std::string& no :
       {file("hidden.exe", FILE_ATTRIBUTE_HIDDEN), file("system.exe", FILE_ATTRIBUTE_SYSTEM),
        dir + "\\directory.exe", dir + "\\missing.exe", dir + "\\*.EXE", dir + "\\MSINFO??.EXE",
        std::string()})
    EXPECT_FALSE(files.exists(no)) << no;
  const std::string probe = dir + "\\probe.exe";
  CopyFileA((test::programFolder() + "launch_probe.exe").c_str(), probe.c_str(), FALSE);
  EXPECT_TRUE(WinLauncher().launch(probe));
  bool ran = false;
  for (int i = 0; i < 600 && !(ran = std::filesystem::exists(probe + ".ran")); ++i) Sleep(50);
  EXPECT_TRUE(ran);
  for (const std::string& no : {dir + "\\missing.exe", dir, std::string()})
    EXPECT_FALSE(WinLauncher().launch(no)) << no;
  SetFileAttributesA((dir + "\\readonly.exe").c_str(), FILE_ATTRIBUTE_NORMAL);  // to remove it
  std::filesystem::remove_all(dir);
}

// Reads the message box that the next call shows (its title, then its icon and text as they
// come), then presses its OK.
std::string shown;
void CALLBACK readBox(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND box = FindWindowA("#32770", nullptr);
  if (!box) return;
  KillTimer(nullptr, timer);
  shown = test::windowText(box);
  for (HWND c = nullptr; (c = FindWindowExA(box, c, "Static", nullptr)) != nullptr;) {
    if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      shown += fmt::format(" | icon {}", SendMessageA(c, STM_GETICON, 0, 0));
    else if (GetWindowTextLengthA(c) > 0)
      shown += " | " + test::windowText(c);
  }
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST(WinMessageBox, ShowsTheTextTitleAndIconAndWaitsForOk) {
  // clang-format off
  const std::pair<Message, LPCSTR> boxes[] = {
      {{"Windows Version:Windows 98\rPort Address:0x378", "Show Status", MessageIcon::Information, {}}, IDI_ASTERISK},
      {{"This PC does not appear to have a Printer Port", "GetPortAddress Error",
        MessageIcon::Exclamation, "Check the BIOS setup."}, IDI_EXCLAMATION},
      {{"Run-time error '6': Overflow", "VX3340", MessageIcon::Critical, {}}, IDI_HAND},
  };
  // clang-format on
  for (const auto& [message, icon] : boxes) {
    SetTimer(nullptr, 0, 20, readBox);
    WinMessageBox().show(message);
    EXPECT_EQ(shown, fmt::format("{} | icon {} | {}", message.title,
                                 reinterpret_cast<LRESULT>(LoadIconA(nullptr, icon)),
                                 messageBoxText(message)));
  }
  EXPECT_EQ(messageBoxText({"a", "", MessageIcon::None, "b"}), "a\r\n\r\nb");
}

// The claim, the port information, their failures, a missing library or function, and InByte's
// upper bits (which start-up's check must see) are seen in vx3340ctl.exe's runs (ctl-test.sh);
// these are the widths of OutByte's value that no run of the program shows.
TEST(ParllioLibrary, ValuesKeepTheirWidths) {
  const std::string log = test::programFolder() + "widths.log";  // the double's calls
  DeleteFileA(log.c_str());
  SetEnvironmentVariableA("PARLLIO_LOG", log.c_str());
  ParllioLibrary library;
  library.OutByte(0x378, 0xFF80);  // -128 as a 16-bit value: widened with its sign
  library.OutByte(0x378, 0x1C0);
  SetEnvironmentVariableA("PARLLIO_LOG", nullptr);
  EXPECT_THAT(test::fileLines(log),
              ::testing::ElementsAre("OutByte 0x378 0xFFFFFF80", "OutByte 0x378 0x000001C0"));
}

// Calls through a pointer of the wrong convention (cdecl for the library's stdcall) leave the
// caller's stack pointer off by the argument bytes on every call: the caller's saved registers
// and return address are then read from the wrong place, and this loop crashes or miscounts.
// The same for InpOut32's functions, whose double plays a port at 0xD010 (with no port listed,
// its claim and port information fail).
TEST(PortLibraries, CallsLeaveTheCallersStackIntact) {
#ifndef __i386__
  GTEST_SKIP() << "32-bit only: 64-bit code has a single calling convention, so there is no "
                  "stdcall to get wrong";
#endif
  ParllioLibrary parllio;
  InpOutLibrary inpout(
      {}, [] { return std::vector<ListedPort>{}; }, "");
  for (const auto& [port, base] : {std::pair<PortLibrary*, std::int32_t>{&parllio, 0x378},
                                   std::pair<PortLibrary*, std::int32_t>{&inpout, 0xD010}}) {
    port->OutByte(base + 2, 0x04);  // data lines driving: the data register reads back
    std::int32_t sum = 0, expected = 0;
    for (std::int32_t i = 0; i < 2000; ++i) {
      port->OutByte(base, i);
      PortInfoRecord record;
      sum += port->InByte(base) + port->GetParallelPortCount() +
             port->GetParallelPortInfo(1, record) + port->ClaimParallelPort(1, -1);
      expected += (i & 0xFF) + (port == &parllio);
    }
    EXPECT_EQ(sum, expected) << base;
  }
}

}  // namespace
}  // namespace vx
