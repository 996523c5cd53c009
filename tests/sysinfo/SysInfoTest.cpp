// GetKeyValue's reading rules and StartSysInfo's search, against an in-memory registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

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
// query. It records the rights each open asks for and the keys left open; file tests, launches
// and message boxes go to a log.
class FakeRegistry : public Registry, public FileTest, public Launcher, public Messages {
 public:
  std::map<std::string, std::map<std::string, std::pair<std::uint32_t, Bytes>>> keys;
  std::vector<std::uint32_t> access;
  int openKeys = 0;
  std::string log;
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
    return log += "exists " + path + "; ", fileExists;
  }
  bool launch(const std::string& path) override {
    return log += "launch " + path + "; ", launchWorks;
  }
  void show(const Message& m) override {
    log += m == Message{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}} ? "unavailable" : "?";
  }

 private:
  std::vector<std::string> names_;
};

TEST(GetKeyValue, ReadsEachTypeAndClosesTheKey) {
  // clang-format off
  const std::tuple<std::uint32_t, Bytes, bool, std::string> cases[] = {
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
  for (const auto& [type, data, ok, result] : cases) {
    FakeRegistry registry;
    registry.keys["K"]["V"] = {type, data};
    std::string keyVal = "before";
    EXPECT_EQ(GetKeyValue(registry, kHkeyLocalMachine, "K", "V", keyVal), ok) << result;
    EXPECT_EQ(keyVal, result);
    EXPECT_EQ(registry.openKeys, 0);
    for (const auto& [key, name] : {std::pair{"K", "Missing"}, {"No\\Key", "V"}}) {
      keyVal = "x";
      EXPECT_FALSE(GetKeyValue(registry, kHkeyLocalMachine, key, name, keyVal));
      EXPECT_EQ(keyVal, "") << key << name;
    }
    // Read rights only (KEY_READ): no write rights that a standard user would be refused.
    EXPECT_THAT(registry.access, ElementsAre(0x20019u, 0x20019u, 0x20019u));
  }
  FakeRegistry registry;
  registry.keys["K"]["V"] = {kRegSz, {}};
  std::string keyVal;
  EXPECT_THROW(GetKeyValue(registry, kHkeyLocalMachine, "K", "V", keyVal), std::exception);
  EXPECT_EQ(registry.openKeys, 0);
}

// What the search tests and launches, and the box when it finds nothing that starts.
TEST(StartSysInfo, FindsTheToolOrSaysItIsUnavailable) {
  using Values = std::vector<std::tuple<const char*, const char*, std::uint32_t, Bytes>>;
  const std::string tool = "C:\\MSINFO\\MSINFO32.EXE";
  // clang-format off
  const std::tuple<Values, bool, bool, std::string> cases[] = {
      {{{kFirstKey, "PATH", kRegSz, text(tool)}, {kSecondKey, "MSINFO", kRegSz, text("C:\\x")}}, false, true, "launch " + tool + "; "},  // as read
      {{{kFirstKey, "PATH", kRegSz, text(tool)}}, true, false, "launch " + tool + "; unavailable"},  // fails
      {{{kSecondKey, "MSINFO", kRegSz, text("C:\\MSINFO")}}, true, true, "exists " + tool + "; launch " + tool + "; "},
      {{{kSecondKey, "MSINFO", kRegSz, text("C:\\MSINFO")}}, false, true, "exists " + tool + "; unavailable"},  // the second location, no file
      {{{kFirstKey, "PATH", 3, {1, 2}}}, true, false, "launch ; unavailable"},  // other type: empty
      {{{kFirstKey, "PATH", kRegSz, {}}}, true, true, "unavailable"},  // no data
      {{}, true, true, "unavailable"},
  };
  // clang-format on
  for (const auto& [values, fileExists, launchWorks, log] : cases) {
    FakeRegistry registry;
    for (const auto& [key, name, type, data] : values) registry.keys[key][name] = {type, data};
    registry.fileExists = fileExists;
    registry.launchWorks = launchWorks;
    StartSysInfo(registry, registry, registry, registry);
    EXPECT_EQ(registry.log, log);
    EXPECT_EQ(registry.openKeys, 0) << log;
  }
}

}  // namespace
}  // namespace vx
