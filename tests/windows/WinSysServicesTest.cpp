// The System Info button's Windows services against wine's real registry, file system and
// process creation, alone and under StartSysInfo.
#include "windows/WinSysServices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "WinTestSupport.h"
#include "startup/Startup.h"

namespace vx {
namespace {

using test::programFolder;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kHkeyCurrentUser = 0x80000001;
constexpr const char* kTestKey = "Software\\VX3340 Tests\\GetKeyValue";

// Writes registry values exactly as given: type, bytes and length.
class RegistryValues {
 public:
  RegistryValues(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
    RegDeleteTreeA(root_, path_.c_str());
    if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS)
      throw std::runtime_error("cannot create the test key " + path_);
  }
  ~RegistryValues() {
    RegCloseKey(key_);
    RegDeleteTreeA(root_, path_.c_str());
  }
  RegistryValues(const RegistryValues&) = delete;
  RegistryValues& operator=(const RegistryValues&) = delete;

  void set(const char* name, DWORD type, const std::string& bytes) {
    // RegSetValueExA stores a text's terminating zero even when the count leaves it out, if the
    // byte after the data is zero. A non-zero byte there keeps an unterminated text unterminated.
    const std::string data = bytes + 'X';
    if (RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS)
      throw std::runtime_error(std::string("cannot set the test value ") + name);
  }

 private:
  HKEY root_;
  std::string path_;
  HKEY key_ = nullptr;
};

std::string withZero(std::string text) {
  return text.append(1, '\0');
}

class GetKeyValueOnTheRegistry : public ::testing::Test {
 protected:
  RegistryValues values_{HKEY_CURRENT_USER, kTestKey};
  WinRegistry registry_;

  bool get(const char* name, std::string& keyVal) {
    return GetKeyValue(registry_, kHkeyCurrentUser, kTestKey, name, keyVal);
  }
};

TEST_F(GetKeyValueOnTheRegistry, TrimsExactlyTheTerminatingZeroOfAText) {
  values_.set("terminated", REG_SZ, withZero("C:\\Tools"));
  values_.set("unterminated", REG_SZ, "C:\\Tools");
  values_.set("two zeros", REG_SZ, withZero(withZero("AB")));
  std::string value = "old";
  EXPECT_TRUE(get("terminated", value));
  EXPECT_EQ(value, "C:\\Tools");
  EXPECT_TRUE(get("unterminated", value));
  EXPECT_EQ(value, "C:\\Tools");
  EXPECT_TRUE(get("two zeros", value));
  EXPECT_EQ(value, withZero("AB"));
}

TEST_F(GetKeyValueOnTheRegistry, ReadsTheValueIntoAThousandAndTwentyFourByteBuffer) {
  values_.set("fits", REG_SZ, withZero(std::string(1023, 'x')));
  values_.set("fits unterminated", REG_SZ, std::string(1024, 'y'));
  values_.set("too long", REG_SZ, withZero(std::string(1024, 'z')));
  std::string value = "old";
  EXPECT_TRUE(get("fits", value));
  EXPECT_EQ(value, std::string(1023, 'x'));
  EXPECT_TRUE(get("fits unterminated", value));
  EXPECT_EQ(value, std::string(1024, 'y'));
  EXPECT_FALSE(get("too long", value));
  EXPECT_EQ(value, "");
}

TEST_F(GetKeyValueOnTheRegistry, GivesNumbersAsTextAndLeavesOtherTypesAlone) {
  values_.set("number", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
  values_.set("small number", REG_DWORD, std::string("\x2A\x00\x00\x00", 4));
  values_.set("binary", REG_BINARY, "C:\\Tools");
  values_.set("expandable", REG_EXPAND_SZ, withZero("%SystemRoot%"));
  std::string value;
  EXPECT_TRUE(get("number", value));
  EXPECT_EQ(value, "305419896");
  EXPECT_TRUE(get("small number", value));
  EXPECT_EQ(value, "42");
  value = "kept";
  EXPECT_TRUE(get("binary", value));
  EXPECT_EQ(value, "kept");
  EXPECT_TRUE(get("expandable", value));
  EXPECT_EQ(value, "kept");
}

TEST_F(GetKeyValueOnTheRegistry, MissingKeysAndValuesAreNotFoundAndEmptyDataIsAnError) {
  values_.set("empty", REG_SZ, "");
  std::string value = "old";
  EXPECT_FALSE(GetKeyValue(registry_, kHkeyCurrentUser, "Software\\VX3340 Tests\\No Such Key",
                           "PATH", value));
  EXPECT_EQ(value, "");
  value = "old";
  EXPECT_FALSE(get("no such value", value));
  EXPECT_EQ(value, "");
  EXPECT_THROW(get("empty", value), std::exception);
}

TEST(WinRegistry, ReturnsExactlyTheStoredBytesIntoAnExactSizeBuffer) {
  RegistryValues values(HKEY_CURRENT_USER, kTestKey);
  values.set("unterminated", REG_SZ, "ABCDE");
  WinRegistry registry;
  const auto key = registry.open(kHkeyCurrentUser, kTestKey, kKeyRead);
  ASSERT_TRUE(key.has_value());
  // Exactly the value's size: no room for a zero that the system might add after the data.
  std::uint8_t buffer[5] = {};
  std::uint32_t size = sizeof buffer;
  std::uint32_t type = 0;
  EXPECT_TRUE(registry.query(*key, "unterminated", &type, buffer, &size));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "ABCDE");
  std::uint8_t small[4] = {};
  size = sizeof small;
  EXPECT_FALSE(registry.query(*key, "unterminated", &type, small, &size));
  registry.close(*key);
}

// A folder beside the test program, emptied for each test.
class Folder {
 public:
  explicit Folder(const std::string& name) : path_(programFolder() + name) {
    remove();
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() { remove(); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    const std::string file = path_ + "\\" + name;
    HANDLE h =
        CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + file);
    CloseHandle(h);
    return file;
  }
  std::string copyOf(const std::string& source, const std::string& name) const {
    const std::string file = path_ + "\\" + name;
    if (!CopyFileA(source.c_str(), file.c_str(), FALSE))
      throw std::runtime_error("cannot copy " + source);
    return file;
  }

 private:
  void remove() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = path_ + "\\" + found.cFileName;
        SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveDirectoryA(name.c_str());
        else
          DeleteFileA(name.c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
  }
  std::string path_;
};

TEST(WinFileTest, FindsOnlyAPlainFileOfExactlyThatName) {
  Folder folder("filetest");
  const std::string plain = folder.file("MSINFO32.EXE");
  const std::string hidden = folder.file("hidden.exe", FILE_ATTRIBUTE_HIDDEN);
  const std::string system = folder.file("system.exe", FILE_ATTRIBUTE_SYSTEM);
  const std::string readOnly = folder.file("readonly.exe", FILE_ATTRIBUTE_READONLY);
  CreateDirectoryA((folder.path() + "\\directory.exe").c_str(), nullptr);
  WinFileTest files;
  EXPECT_TRUE(files.exists(plain));
  EXPECT_TRUE(files.exists(readOnly));
  EXPECT_FALSE(files.exists(hidden));
  EXPECT_FALSE(files.exists(system));
  EXPECT_FALSE(files.exists(folder.path() + "\\directory.exe"));
  EXPECT_FALSE(files.exists(folder.path() + "\\missing.exe"));
  EXPECT_FALSE(files.exists(folder.path() + "\\*.EXE"));
  EXPECT_FALSE(files.exists(folder.path() + "\\MSINFO??.EXE"));
  EXPECT_FALSE(files.exists(""));
}

// Whether a launched probe left its mark; waits for it as long as a slow machine needs.
bool probeRan(const std::string& program) {
  const std::string marker = program + ".ran";
  for (int i = 0; i < 600; ++i) {
    if (GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(50);
  }
  return false;
}

TEST(WinLauncher, StartsAnExistingProgramAndFailsCleanlyOnAMissingOne) {
  Folder folder("launch");
  const std::string probe = folder.copyOf(programFolder() + "launch_probe.exe", "probe.exe");
  WinLauncher launcher;
  EXPECT_TRUE(launcher.launch(probe));
  EXPECT_TRUE(probeRan(probe));
  EXPECT_FALSE(launcher.launch(folder.path() + "\\missing.exe"));
  EXPECT_FALSE(launcher.launch(folder.path()));
  EXPECT_FALSE(launcher.launch(""));
}

struct RecordingMessages : Messages {
  std::vector<Message> shown;
  void show(const Message& message) override { shown.push_back(message); }
};

// StartSysInfo on the real services, with the tool's registry entries under HKLM.
class StartSysInfoOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMsinfo);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kLocation);
  }
  void TearDown() override { SetUp(); }

  void start() { StartSysInfo(registry_, files_, launcher_, messages_); }

  static constexpr const char* kMsinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
  static constexpr const char* kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";
  Folder folder_{"sysinfo"};
  WinRegistry registry_;
  WinFileTest files_;
  WinLauncher launcher_;
  RecordingMessages messages_;
};

const Message kUnavailable{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}};

TEST_F(StartSysInfoOnWindows, AMissingPathFromTheFirstLocationEndsInTheMessage) {
  RegistryValues msinfo(HKEY_LOCAL_MACHINE, kMsinfo);
  msinfo.set("PATH", REG_SZ, withZero(folder_.path() + "\\MSINFO32.EXE"));
  start();
  EXPECT_THAT(messages_.shown, ElementsAre(kUnavailable));
}

TEST_F(StartSysInfoOnWindows, StartsTheToolFoundThroughTheSecondLocation) {
  const std::string tool = folder_.copyOf(programFolder() + "launch_probe.exe", "MSINFO32.EXE");
  RegistryValues location(HKEY_LOCAL_MACHINE, kLocation);
  location.set("MSINFO", REG_SZ, withZero(folder_.path()));
  start();
  EXPECT_THAT(messages_.shown, IsEmpty());
  EXPECT_TRUE(probeRan(tool));
}

TEST_F(StartSysInfoOnWindows, ASecondLocationWithoutTheToolEndsInTheMessage) {
  RegistryValues location(HKEY_LOCAL_MACHINE, kLocation);
  location.set("MSINFO", REG_SZ, withZero(folder_.path()));
  start();
  EXPECT_THAT(messages_.shown, ElementsAre(kUnavailable));
}

TEST_F(StartSysInfoOnWindows, NoLocationAtAllEndsInTheMessage) {
  start();
  EXPECT_THAT(messages_.shown, ElementsAre(kUnavailable));
}

}  // namespace
}  // namespace vx
