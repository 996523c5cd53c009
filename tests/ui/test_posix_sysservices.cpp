// The POSIX file test and launcher, on real files and processes in a scratch directory.
#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ui/PosixSysServices.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vx-sysservices-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // A shell script that touches a marker file when it runs.
  fs::path script(const fs::path& path, const fs::path& marker) {
    std::ofstream(path) << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
  // Waits for a started program to leave its marker; gives up after a generous while.
  static bool appears(const fs::path& marker) {
    for (int i = 0; i < 500 && !fs::exists(marker); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(marker);
  }

  fs::path dir;
};

TEST_F(ScratchDir, FileTestFindsOnlyVisibleRegularFiles) {
  std::ofstream(dir / "MSINFO32.EXE") << "x";
  std::ofstream(dir / ".hidden") << "x";
  fs::create_directories(dir / "folder");
  PosixFileTest files;
  EXPECT_TRUE(files.exists((dir / "MSINFO32.EXE").string()));
  EXPECT_FALSE(files.exists((dir / ".hidden").string()));
  EXPECT_FALSE(files.exists((dir / "folder").string()));
  EXPECT_FALSE(files.exists((dir / "missing").string()));
  EXPECT_FALSE(files.exists(""));
}

TEST_F(ScratchDir, LauncherStartsExactlyThePathEvenWithSpaces) {
  fs::create_directories(dir / "Program Files");
  // Were the path split at its space, this program would run instead.
  script(dir / "Program", dir / "wrong-program-ran");
  const auto tool = script(dir / "Program Files" / "tool", dir / "tool-ran");
  PosixLauncher launcher;
  EXPECT_TRUE(launcher.launch(tool.string()));
  EXPECT_TRUE(appears(dir / "tool-ran"));
  EXPECT_FALSE(fs::exists(dir / "wrong-program-ran"));
}

TEST_F(ScratchDir, LauncherReportsWhatCannotStart) {
  PosixLauncher launcher;
  EXPECT_FALSE(launcher.launch(""));
  EXPECT_FALSE(launcher.launch((dir / "missing").string()));
  std::ofstream(dir / "not-executable") << "#!/bin/sh\n";
  EXPECT_FALSE(launcher.launch((dir / "not-executable").string()));
}

}  // namespace
}  // namespace vx
