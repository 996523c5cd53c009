// GetKeyValue's reading rules and StartSysInfo's search, against an in-memory registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "startup/Startup.h"
#include "ui/SysInfo.h"

namespace vx {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Return;

constexpr const char* kFirstKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kSecondKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr std::uint32_t kRegBinary = 3;

struct Value {
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> bytes(const std::string& text) {
  return {text.begin(), text.end()};
}
std::vector<std::uint8_t> withZero(const std::string& text) {
  auto data = bytes(text);
  data.push_back(0);
  return data;
}

// A registry as RegQueryValueExA behaves: a value longer than the caller's buffer fails the
// query. It records the rights every open asks for and which keys are still open.
class FakeRegistry : public Registry {
 public:
  void set(const std::string& key, const std::string& name, Value value) {
    keys_[key][name] = std::move(value);
  }
  std::optional<Key> open(std::uint32_t root, const std::string& path,
                          std::uint32_t access) override {
    opens.push_back({root, access});
    if (root != kHkeyLocalMachine || !keys_.count(path)) return std::nullopt;
    names_.push_back(path);
    ++openKeys;
    return names_.size() - 1;
  }
  bool query(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* buffer,
             std::uint32_t* size) override {
    const auto& values = keys_.at(names_.at(key));
    const auto found = values.find(name);
    if (found == values.end() || found->second.data.size() > *size) return false;
    *type = found->second.type;
    std::copy(found->second.data.begin(), found->second.data.end(), buffer);
    *size = static_cast<std::uint32_t>(found->second.data.size());
    return true;
  }
  void close(Key) override { --openKeys; }

  struct Open {
    std::uint32_t root;
    std::uint32_t access;
  };
  std::vector<Open> opens;
  int openKeys = 0;

 private:
  std::map<std::string, std::map<std::string, Value>> keys_;
  std::vector<std::string> names_;
};

std::string read(FakeRegistry& registry, const Value& value, std::string keyVal = "before",
                 bool* result = nullptr) {
  registry.set("K", "V", value);
  const bool ok = GetKeyValue(registry, kHkeyLocalMachine, "K", "V", keyVal);
  if (result) *result = ok;
  return keyVal;
}

TEST(GetKeyValue, TextLosesExactlyOneTerminatingZero) {
  FakeRegistry registry;
  EXPECT_EQ(read(registry, {kRegSz, withZero("C:\\Program Files\\MSINFO")}),
            "C:\\Program Files\\MSINFO");
  EXPECT_EQ(read(registry, {kRegSz, bytes("C:\\NoZero")}), "C:\\NoZero");
  // Only the last byte is looked at: a second zero before it stays in the text.
  EXPECT_EQ(read(registry, {kRegSz, withZero(std::string("ab\0", 3))}), std::string("ab\0", 3));
  EXPECT_EQ(read(registry, {kRegSz, {0}}), "");
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(GetKeyValue, DwordGivesTheNumberFromLittleEndianBytes) {
  FakeRegistry registry;
  EXPECT_EQ(read(registry, {kRegDword, {0x78, 0x56, 0x34, 0x12}}), "305419896");
  // A trailing zero byte is trimmed like any other, which leaves the number unchanged.
  EXPECT_EQ(read(registry, {kRegDword, {0x2A, 0x00, 0x00, 0x00}}), "42");
}

TEST(GetKeyValue, OtherTypesSucceedAndKeepTheCallersText) {
  FakeRegistry registry;
  bool ok = false;
  EXPECT_EQ(read(registry, {kRegBinary, {1, 2, 3}}, "kept", &ok), "kept");
  EXPECT_TRUE(ok);
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(GetKeyValue, ValueWithoutDataRaisesAndClosesTheKey) {
  FakeRegistry registry;
  registry.set("K", "V", {kRegSz, {}});
  std::string keyVal;
  EXPECT_THROW(GetKeyValue(registry, kHkeyLocalMachine, "K", "V", keyVal), std::exception);
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(GetKeyValue, FailedQueryOrOpenGivesFalseAndEmptyText) {
  FakeRegistry registry;
  bool ok = true;
  EXPECT_EQ(read(registry, {kRegSz, withZero(std::string(1023, 'x'))}, "x", &ok),
            std::string(1023, 'x'));
  EXPECT_TRUE(ok);
  // 1025 bytes do not fit the 1024-byte buffer.
  EXPECT_EQ(read(registry, {kRegSz, withZero(std::string(1024, 'x'))}, "x", &ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(registry.openKeys, 0);

  std::string keyVal = "x";
  EXPECT_FALSE(GetKeyValue(registry, kHkeyLocalMachine, "K", "Missing", keyVal));
  EXPECT_EQ(keyVal, "");
  keyVal = "x";
  EXPECT_FALSE(GetKeyValue(registry, kHkeyLocalMachine, "No\\Such\\Key", "V", keyVal));
  EXPECT_EQ(keyVal, "");
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(GetKeyValue, OpensWithReadRightsOnly) {
  FakeRegistry registry;
  read(registry, {kRegSz, withZero("x")});
  std::string keyVal;
  GetKeyValue(registry, kHkeyLocalMachine, "Missing", "V", keyVal);
  ASSERT_EQ(registry.opens.size(), 2u);
  for (const auto& open : registry.opens) {
    EXPECT_EQ(open.root, 0x80000002u);
    EXPECT_EQ(open.access, 0x20019u);  // KEY_READ: no write rights
  }
}

class MockFiles : public FileTest {
 public:
  MOCK_METHOD(bool, exists, (const std::string&), (override));
};
class MockLauncher : public Launcher {
 public:
  MOCK_METHOD(bool, launch, (const std::string&), (override));
};
struct RecordedMessages : Messages {
  void show(const Message& message) override { shown.push_back(message); }
  std::vector<Message> shown;
};

const Message kUnavailable{
    "System Information Is Unavailable At This Time", "VX3340", MessageIcon::None, {}};

struct StartSysInfoTest : ::testing::Test {
  FakeRegistry registry;
  MockFiles files;
  MockLauncher launcher;
  RecordedMessages messages;
  void run() { StartSysInfo(registry, files, launcher, messages); }
};

TEST_F(StartSysInfoTest, FirstLocationIsLaunchedAsReadWithoutAFileTest) {
  registry.set(kFirstKey, "PATH", {kRegSz, withZero("C:\\Program Files\\Common\\MSINFO32.EXE")});
  registry.set(kSecondKey, "MSINFO", {kRegSz, withZero("C:\\Other")});
  EXPECT_CALL(files, exists(_)).Times(0);
  EXPECT_CALL(launcher, launch("C:\\Program Files\\Common\\MSINFO32.EXE")).WillOnce(Return(true));
  run();
  EXPECT_THAT(messages.shown, IsEmpty());
}

TEST_F(StartSysInfoTest, FailedLaunchOfTheFirstLocationShowsTheMessage) {
  registry.set(kFirstKey, "PATH", {kRegSz, withZero("C:\\Gone\\MSINFO32.EXE")});
  EXPECT_CALL(launcher, launch("C:\\Gone\\MSINFO32.EXE")).WillOnce(Return(false));
  run();
  EXPECT_THAT(messages.shown, ElementsAre(kUnavailable));
}

TEST_F(StartSysInfoTest, SecondLocationNeedsTheFileToExist) {
  registry.set(kSecondKey, "MSINFO", {kRegSz, withZero("C:\\Program Files\\MSINFO")});
  EXPECT_CALL(files, exists("C:\\Program Files\\MSINFO\\MSINFO32.EXE")).WillOnce(Return(true));
  EXPECT_CALL(launcher, launch("C:\\Program Files\\MSINFO\\MSINFO32.EXE")).WillOnce(Return(true));
  run();
  EXPECT_THAT(messages.shown, IsEmpty());
}

TEST_F(StartSysInfoTest, SecondLocationWithoutTheFileShowsTheMessageWithoutLaunching) {
  registry.set(kSecondKey, "MSINFO", {kRegSz, withZero("C:\\MSINFO")});
  EXPECT_CALL(files, exists("C:\\MSINFO\\MSINFO32.EXE")).WillOnce(Return(false));
  EXPECT_CALL(launcher, launch(_)).Times(0);
  run();
  EXPECT_THAT(messages.shown, ElementsAre(kUnavailable));
}

TEST_F(StartSysInfoTest, OtherValueTypeLaunchesAnEmptyPathAndReportsTheFailure) {
  registry.set(kFirstKey, "PATH", {kRegBinary, {1, 2}});
  EXPECT_CALL(launcher, launch("")).WillOnce(Return(false));
  run();
  EXPECT_THAT(messages.shown, ElementsAre(kUnavailable));
}

TEST_F(StartSysInfoTest, EmptyValueIsReportedAsUnavailable) {
  registry.set(kFirstKey, "PATH", {kRegSz, {}});
  EXPECT_CALL(launcher, launch(_)).Times(0);
  run();
  EXPECT_THAT(messages.shown, ElementsAre(kUnavailable));
  EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(StartSysInfoTest, NoRegistryMeansUnavailable) {
  NoRegistry none;
  EXPECT_CALL(files, exists(_)).Times(0);
  EXPECT_CALL(launcher, launch(_)).Times(0);
  StartSysInfo(none, files, launcher, messages);
  EXPECT_THAT(messages.shown, ElementsAre(kUnavailable));
}

}  // namespace
}  // namespace vx
