// GetKeyValue's reading rules and StartSysInfo's search, against an in-memory registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "support/Support.h"
#include "sysinfo/SysInfo.h"

namespace vx {
namespace {

using ::testing::ElementsAre;

using Bytes = std::vector<std::uint8_t>;
constexpr const char* kFirstKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kSecondKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

Bytes text(const std::string& t, bool zero = true) {
  Bytes data(t.begin(), t.end());
  if (zero) data.push_back(0);
  return data;
}

// A registry as RegQueryValueExA behaves: a value longer than the caller's buffer fails the
// query. It records the rights each open asks for, the keys left open, and the launches.
class FakeRegistry : public Registry, public FileTest, public Launcher {
 public:
  std::map<std::string, std::map<std::string, std::pair<std::uint32_t, Bytes>>> keys;
  std::vector<std::uint32_t> access;
  int openKeys = 0;
  std::vector<std::string> fileTests, launches;
  bool fileExists = false, launchWorks = true;

  std::optional<Key> open(std::uint32_t root, const std::string& path,
                          std::uint32_t rights) override {
    access.push_back(rights);
    if (root != kHkeyLocalMachine || !keys.count(path)) return std::nullopt;
    names_.push_back(path);
    ++openKeys;
    return names_.size() - 1;
  }
  bool query(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* buffer,
             std::uint32_t* size) override {
    const auto& values = keys.at(names_.at(key));
    const auto found = values.find(name);
    if (found == values.end() || found->second.second.size() > *size) return false;
    *type = found->second.first;
    std::copy(found->second.second.begin(), found->second.second.end(), buffer);
    *size = static_cast<std::uint32_t>(found->second.second.size());
    return true;
  }
  void close(Key) override { --openKeys; }
  bool exists(const std::string& path) override {
    fileTests.push_back(path);
    return fileExists;
  }
  bool launch(const std::string& path) override {
    launches.push_back(path);
    return launchWorks;
  }

 private:
  std::vector<std::string> names_;
};

TEST(GetKeyValue, ReadsEachTypeAndClosesTheKey) {
  struct Case {
    std::uint32_t type;
    Bytes data;
    bool ok;
    std::string keyVal;
  };
  // clang-format off
  const Case cases[] = {
      {kRegSz, text("C:\\Program Files\\MSINFO"), true, "C:\\Program Files\\MSINFO"},
      {kRegSz, text("C:\\NoZero", false), true, "C:\\NoZero"},
      {kRegSz, text(std::string("ab\0", 3)), true, std::string("ab\0", 3)},  // one zero only
      {kRegSz, {0}, true, ""},
      {kRegSz, text(std::string(1023, 'x')), true, std::string(1023, 'x')},
      {kRegSz, text(std::string(1024, 'x')), false, ""},  // 1025 bytes do not fit
      {kRegDword, {0x78, 0x56, 0x34, 0x12}, true, "305419896"},
      {3, {1, 2, 3}, true, "before"},  // other types keep the caller's text
  };
  // clang-format on
  for (const Case& c : cases) {
    FakeRegistry registry;
    registry.keys["K"]["V"] = {c.type, c.data};
    std::string keyVal = "before";
    EXPECT_EQ(GetKeyValue(registry, kHkeyLocalMachine, "K", "V", keyVal), c.ok) << c.keyVal;
    EXPECT_EQ(keyVal, c.keyVal);
    EXPECT_EQ(registry.openKeys, 0);
    keyVal = "x";
    EXPECT_FALSE(GetKeyValue(registry, kHkeyLocalMachine, "K", "Missing", keyVal));
    EXPECT_EQ(keyVal, "");
    keyVal = "x";
    EXPECT_FALSE(GetKeyValue(registry, kHkeyLocalMachine, "No\\Key", "V", keyVal));
    EXPECT_EQ(keyVal, "");
    // Read rights only (KEY_READ): no write rights that a standard user would be refused.
    EXPECT_THAT(registry.access, ElementsAre(0x20019u, 0x20019u, 0x20019u));
  }
  FakeRegistry registry;
  registry.keys["K"]["V"] = {kRegSz, {}};
  std::string keyVal;
  EXPECT_THROW(GetKeyValue(registry, kHkeyLocalMachine, "K", "V", keyVal), std::exception);
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(StartSysInfo, FindsTheToolOrSaysItIsUnavailable) {
  struct Case {
    const char* name;
    std::vector<std::tuple<const char*, const char*, std::uint32_t, Bytes>> values;
    bool fileExists, launchWorks;
    std::vector<std::string> fileTests, launches;
    bool unavailable;
  };
  const std::string tool = "C:\\MSINFO\\MSINFO32.EXE";
  // clang-format off
  const Case cases[] = {
      {"first location, launched as read", {{kFirstKey, "PATH", kRegSz, text(tool)},
        {kSecondKey, "MSINFO", kRegSz, text("C:\\x")}}, false, true, {}, {tool}, false},
      {"first location, launch fails", {{kFirstKey, "PATH", kRegSz, text(tool)}}, true, false, {}, {tool}, true},
      {"second location with the file", {{kSecondKey, "MSINFO", kRegSz, text("C:\\MSINFO")}}, true, true, {tool}, {tool}, false},
      {"second location without it", {{kSecondKey, "MSINFO", kRegSz, text("C:\\MSINFO")}}, false, true, {tool}, {}, true},
      {"other type: an empty path", {{kFirstKey, "PATH", 3, {1, 2}}}, true, false, {}, {""}, true},
      {"no data", {{kFirstKey, "PATH", kRegSz, {}}}, true, true, {}, {}, true},
      {"neither", {}, true, true, {}, {}, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRegistry registry;
    for (const auto& [key, name, type, data] : c.values) registry.keys[key][name] = {type, data};
    registry.fileExists = c.fileExists;
    registry.launchWorks = c.launchWorks;
    test::RecordingMessages messages;
    StartSysInfo(registry, registry, registry, messages);
    EXPECT_EQ(registry.fileTests, c.fileTests);
    EXPECT_EQ(registry.launches, c.launches);
    EXPECT_EQ(registry.openKeys, 0);
    EXPECT_EQ(messages.shown,
              std::vector<Message>(c.unavailable ? 1 : 0,
                                   {kSysInfoUnavailable, "VX3340", MessageIcon::None, {}}));
  }
}

}  // namespace
}  // namespace vx
