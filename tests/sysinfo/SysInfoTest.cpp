// GetKeyValue's reading rules and StartSysInfo's search, against an in-memory registry, line for
// line against tests/data/sysinfo.expected.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "support/Support.h"
#include "sysinfo/SysInfo.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

using Bytes = std::vector<std::uint8_t>;

// A text as stored with its terminating zero.
Bytes text(const std::string& t) {
  return Bytes(t.c_str(), t.c_str() + t.size() + 1);
}

// A registry as RegQueryValueExA behaves: a value longer than the caller's buffer fails the
// query. Each open (with its root and the rights it asks for) and close, file test, launch and
// message box goes to a log.
class FakeRegistry : public Registry, public FileTest, public Launcher, public Messages {
 public:
  std::map<std::string, std::map<std::string, std::pair<std::uint32_t, Bytes>>> keys;
  std::vector<std::string> log;
  bool fileExists = false, launchWorks = true;

  std::optional<Key> open(std::uint32_t root, const std::string& path,
                          std::uint32_t rights) override {
    log.push_back(fmt::format("open {:X} {} {:X}", root, path, rights));
    if (!keys.count(path)) return std::nullopt;
    names_.push_back(path);
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
  void close(Key key) override { log.push_back("close " + names_.at(key)); }
  bool exists(const std::string& path) override {
    return log.push_back("exists " + path), fileExists;
  }
  bool launch(const std::string& path) override {
    return log.push_back("launch " + path), launchWorks;
  }
  void show(const Message& m) override {
    log.push_back(fmt::format("box [{}] [{}] {} [{}]", m.text, m.title, int(m.icon), m.details));
  }

 private:
  std::vector<std::string> names_;
};

// For each value of V under K: what GetKeyValue returns and leaves in a text that held "before"
// (its size and first 30 characters), or that it throws, then for a missing value and a missing
// key. Then, for each registry and file system, what StartSysInfo tests, launches and shows.
TEST(SysInfo, ReadsValuesAndFindsTheTool) {
  std::vector<std::string> transcript;
  const std::pair<std::uint32_t, Bytes> values[] = {
      {kRegSz, text("C:\\Program Files\\MSINFO")},
      {kRegSz, {'N', 'o', 'Z', 'e', 'r', 'o'}},
      {kRegSz, text(std::string("ab\0", 3))},  // one zero only is dropped
      {kRegSz, {0}},
      {kRegSz, text(std::string(1023, 'x'))},
      {kRegSz, text(std::string(1024, 'x'))},  // 1025 bytes do not fit
      {kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {3, {1, 2, 3}},  // other types keep the caller's text
      {kRegSz, {}},
  };
  for (const auto& [type, data] : values) {
    FakeRegistry registry;
    registry.keys["K"]["V"] = {type, data};
    for (const auto& [key, name] : {std::pair{"K", "V"}, {"K", "Missing"}, {"No\\Key", "V"}}) {
      std::string keyVal = "before";
      try {
        const bool ok = GetKeyValue(registry, kHkeyLocalMachine, key, name, keyVal);
        registry.log.push_back(fmt::format("{} {} {:?}", ok, keyVal.size(), keyVal.substr(0, 30)));
      } catch (const std::exception&) {
        registry.log.push_back("throws");
      }
    }
    transcript.push_back(fmt::format("{}", fmt::join(registry.log, "; ")));
  }
  using Values = std::vector<std::tuple<const char*, const char*, std::uint32_t, Bytes>>;
  const char* first = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
  const char* second = "SOFTWARE\\Microsoft\\Shared Tools Location";
  const Bytes tool = text("C:\\MSINFO\\MSINFO32.EXE");
  // clang-format off
  const std::tuple<Values, bool, bool> cases[] = {  // the values, whether the file exists, whether it launches
      {{{first, "PATH", kRegSz, tool}, {second, "MSINFO", kRegSz, text("C:\\x")}}, false, true},
      {{{first, "PATH", kRegSz, tool}}, true, false},
      {{{second, "MSINFO", kRegSz, text("C:\\MSINFO")}}, true, true},
      {{{second, "MSINFO", kRegSz, text("C:\\MSINFO")}}, false, true},
      {{{first, "PATH", 3, {1, 2}}}, true, false},
      {{{first, "PATH", kRegSz, {}}}, true, true},
      {{}, true, true},
  };
  // clang-format on
  for (const auto& [values, fileExists, launchWorks] : cases) {
    FakeRegistry registry;
    for (const auto& [key, name, type, data] : values) registry.keys[key][name] = {type, data};
    registry.fileExists = fileExists;
    registry.launchWorks = launchWorks;
    StartSysInfo(registry, registry, registry, registry);
    transcript.push_back(fmt::format("{}", fmt::join(registry.log, "; ")));
  }
  EXPECT_THAT(transcript, ElementsAreArray(test::expected("sysinfo.expected")));
}

}  // namespace
}  // namespace vx
