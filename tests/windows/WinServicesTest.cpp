// The Windows services against wine's real registry, files, processes and message boxes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "WinTestSupport.h"
#include "startup/Startup.h"
#include "support/Support.h"
#include "windows/WinMessageBox.h"
#include "windows/WinOsServices.h"
#include "windows/WinSysServices.h"

namespace vx {
namespace {

using test::programFolder;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(WinOsServices, ArgumentsAfterTheProgramNameAndTheVersionQuery) {
  const std::pair<const char*, const char*> lines[] = {
      {"vx3340ctl.exe /SS", "/SS"},
      {"vx3340ctl.exe\t -x  /ss ", "-x  /ss "},
      {"C:\\VX\\vx3340.exe", ""},
      {"\"C:\\Program Files\\VX 3340\\vx3340.exe\" a/Ssb", "a/Ssb"},
      {"\"C:\\VX\\vx3340.exe\"/SS", "/SS"},  // a quoted name ends at its closing quote
      {"\"vx 3340.exe\" \"/S S\" x", "\"/S S\" x"},
      {"\"unterminated name /SS", ""},
      {"", ""},
  };
  for (const auto& [line, arguments] : lines) EXPECT_EQ(argumentsAfterProgramName(line), arguments);
  WinOsServices os;
  OsVersionRecord record;  // size 0: the system refuses the query and the record stays as it was
  os.queryVersion(record);
  EXPECT_EQ(versionText(record), "Failed");
  record.dwOSVersionInfoSize = sizeof record;
  std::memset(record.szCSDVersion, ' ', sizeof record.szCSDVersion);
  os.queryVersion(record);
  EXPECT_EQ(record.dwOSVersionInfoSize, 148u);
  EXPECT_NE(record.dwMajorVersion, 0u);
  EXPECT_NE(std::memchr(record.szCSDVersion, '\0', sizeof record.szCSDVersion), nullptr);
}

constexpr std::uint32_t kHkeyCurrentUser = 0x80000001;
constexpr const char* kTestKey = "Software\\VX3340 Tests\\GetKeyValue";

// Registry values exactly as given: type, bytes and length, removed again afterwards.
class RegistryValues {
 public:
  RegistryValues(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
    RegDeleteTreeA(root_, path_.c_str());
    RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
  }
  ~RegistryValues() {
    RegCloseKey(key_);
    RegDeleteTreeA(root_, path_.c_str());
  }
  void set(const char* name, DWORD type, const std::string& bytes) {
    // A non-zero byte after the data keeps an unterminated text unterminated.
    const std::string data = bytes + 'X';
    RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(bytes.size()));
  }

 private:
  HKEY root_;
  std::string path_;
  HKEY key_ = nullptr;
};

std::string z(std::string text) {
  return text.append(1, '\0');
}

TEST(WinRegistry, GetKeyValueReadsWhatTheRegistryHolds) {
  RegistryValues values(HKEY_CURRENT_USER, kTestKey);
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    bool ok;
    std::string keyVal;
  };
  const Case cases[] = {
      {"terminated", REG_SZ, z("C:\\Tools"), true, "C:\\Tools"},
      {"unterminated", REG_SZ, "C:\\Tools", true, "C:\\Tools"},
      {"two zeros", REG_SZ, z(z("AB")), true, z("AB")},
      {"fits", REG_SZ, z(std::string(1023, 'x')), true, std::string(1023, 'x')},
      {"fits unterminated", REG_SZ, std::string(1024, 'y'), true, std::string(1024, 'y')},
      {"too long", REG_SZ, z(std::string(1024, 'z')), false, ""},
      {"number", REG_DWORD, std::string("\x78\x56\x34\x12", 4), true, "305419896"},
      {"binary", REG_BINARY, "C:\\Tools", true, "kept"},
      {"expandable", REG_EXPAND_SZ, z("%SystemRoot%"), true, "kept"},
  };
  for (const Case& c : cases) values.set(c.name, c.type, c.data);
  values.set("empty", REG_SZ, "");
  WinRegistry registry;
  for (const Case& c : cases) {
    std::string keyVal = "kept";
    EXPECT_EQ(GetKeyValue(registry, kHkeyCurrentUser, kTestKey, c.name, keyVal), c.ok) << c.name;
    EXPECT_EQ(keyVal, c.keyVal) << c.name;
  }
  std::string keyVal = "old";
  EXPECT_FALSE(
      GetKeyValue(registry, kHkeyCurrentUser, "Software\\VX3340 Tests\\None", "V", keyVal));
  EXPECT_EQ(keyVal, "");
  EXPECT_THROW(GetKeyValue(registry, kHkeyCurrentUser, kTestKey, "empty", keyVal), std::exception);
  // Exactly the value's size: no room for a zero that the system might add after the data.
  const auto key = registry.open(kHkeyCurrentUser, kTestKey, kKeyRead);
  ASSERT_TRUE(key.has_value());
  std::uint8_t buffer[8] = {};
  std::uint32_t size = 8, type = 0;
  EXPECT_TRUE(registry.query(*key, "unterminated", &type, buffer, &size));
  EXPECT_EQ(size, 8u);
  size = 7;
  EXPECT_FALSE(registry.query(*key, "unterminated", &type, buffer, &size));
  registry.close(*key);
}

// A folder beside the test program, emptied before and after.
class Folder {
 public:
  explicit Folder(const std::string& name) : path_(programFolder() + name) {
    remove();
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() { remove(); }
  std::string file(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    const std::string file = path_ + "\\" + name;
    CloseHandle(
        CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
    return file;
  }
  std::string probe(const std::string& name) const {
    const std::string file = path_ + "\\" + name;
    CopyFileA((programFolder() + "launch_probe.exe").c_str(), file.c_str(), FALSE);
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  void remove() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
      const std::string name = path_ + "\\" + found.cFileName;
      SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(name.c_str());
      RemoveDirectoryA(name.c_str());
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryA(path_.c_str());
  }
  std::string path_;
};

// Whether a launched probe left its mark; waits for it as long as a slow machine needs.
bool probeRan(const std::string& program) {
  for (int i = 0; i < 600; ++i, Sleep(50))
    if (GetFileAttributesA((program + ".ran").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return false;
}

TEST(WinSysServices, FileTestAndLauncherTakeExactlyThePath) {
  Folder folder("filetest");
  WinFileTest files;
  EXPECT_TRUE(files.exists(folder.file("MSINFO32.EXE")));
  EXPECT_TRUE(files.exists(folder.file("readonly.exe", FILE_ATTRIBUTE_READONLY)));
  for (const std::string& no : {folder.file("hidden.exe", FILE_ATTRIBUTE_HIDDEN),
                                folder.file("system.exe", FILE_ATTRIBUTE_SYSTEM), folder.path(),
                                folder.path() + "\\missing.exe", folder.path() + "\\*.EXE",
                                folder.path() + "\\MSINFO??.EXE", std::string()})
    EXPECT_FALSE(files.exists(no)) << no;
  WinLauncher launcher;
  const std::string probe = folder.probe("probe.exe");
  EXPECT_TRUE(launcher.launch(probe));
  EXPECT_TRUE(probeRan(probe));
  for (const std::string& no : {folder.path() + "\\missing.exe", folder.path(), std::string()})
    EXPECT_FALSE(launcher.launch(no)) << no;
}

TEST(WinSysServices, StartSysInfoOnTheRealServices) {
  const char* first = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
  const char* second = "SOFTWARE\\Microsoft\\Shared Tools Location";
  Folder folder("sysinfo");
  WinRegistry registry;
  WinFileTest files;
  WinLauncher launcher;
  const Message unavailable{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}};
  const auto start = [&] {
    test::RecordingMessages messages;
    StartSysInfo(registry, files, launcher, messages);
    return messages.shown;
  };
  EXPECT_THAT(start(), ElementsAre(unavailable));  // no location at all
  {
    RegistryValues location(HKEY_LOCAL_MACHINE, second);
    location.set("MSINFO", REG_SZ, z(folder.path()));
    EXPECT_THAT(start(), ElementsAre(unavailable));  // no tool there
    const std::string tool = folder.probe("MSINFO32.EXE");
    EXPECT_THAT(start(), IsEmpty());
    EXPECT_TRUE(probeRan(tool));
  }
  RegistryValues msinfo(HKEY_LOCAL_MACHINE, first);
  msinfo.set("PATH", REG_SZ, z(folder.path() + "\\missing\\MSINFO32.EXE"));
  EXPECT_THAT(start(), ElementsAre(unavailable));  // taken as read, and it fails to start
}

// Reads the message box that the next call shows, then presses its OK.
struct ShownBox {
  std::string title, text;
  HICON icon = nullptr;
} shown;
BOOL CALLBACK readChild(HWND child, LPARAM) {
  char text[512] = {};
  GetClassNameA(child, text, sizeof text);
  if (lstrcmpiA(text, "Static") != 0) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
    shown.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  else if (GetWindowTextA(child, text, sizeof text) > 0)
    shown.text = text;
  return TRUE;
}
void CALLBACK readBox(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND box = FindWindowA("#32770", nullptr);
  if (!box) return;
  KillTimer(nullptr, timer);
  char title[64] = {};
  GetWindowTextA(box, title, sizeof title);
  shown.title = title;
  EnumChildWindows(box, readChild, 0);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST(WinMessageBox, ShowsTheTextTitleAndIconAndWaitsForOk) {
  const std::pair<Message, LPCSTR> boxes[] = {
      {{"Windows Version:Windows 98\rPort Address:0x378",
        "Show Status",
        MessageIcon::Information,
        {}},
       IDI_ASTERISK},
      {{"claim parallel port failed", "VX3340", MessageIcon::None, {}}, nullptr},
      {{"This PC does not appear to have a Printer Port", "GetPortAddress Error",
        MessageIcon::Exclamation, "Check the BIOS setup."},
       IDI_EXCLAMATION},
      {{"Run-time error '6': Overflow", "VX3340", MessageIcon::Critical, {}}, IDI_HAND},
  };
  for (const auto& [message, icon] : boxes) {
    shown = {};
    SetTimer(nullptr, 0, 20, readBox);
    WinMessageBox().show(message);
    EXPECT_EQ(shown.title, message.title);
    EXPECT_EQ(shown.text, messageBoxText(message));
    EXPECT_EQ(shown.icon, icon ? LoadIconA(nullptr, icon) : nullptr);
  }
  EXPECT_EQ(messageBoxText({"a", "", MessageIcon::None, "b"}), "a\r\n\r\nb");
}

}  // namespace
}  // namespace vx
