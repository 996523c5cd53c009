// The POSIX file test and launcher, on real files and processes in a scratch directory.
#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "posix/PosixSysServices.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

TEST(PosixSysServices, FileTestAndLauncherTakeExactlyThePath) {
  const fs::path dir = fs::temp_directory_path() / ("vx-sysservices-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Program Files" / "folder");
  // A script that leaves a marker file when it runs.
  const auto script = [&](const fs::path& path, const char* marker) {
    std::ofstream(path) << "#!/bin/sh\ntouch '" << (dir / marker).string() << "'\n";
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  };
  std::ofstream(dir / ".hidden") << "x";
  std::ofstream(dir / "not-executable") << "#!/bin/sh\n";
  script(dir / "Program", "wrong-program-ran");  // were the path split at its space
  const std::string tool = script(dir / "Program Files" / "tool", "tool-ran");

  PosixFileTest files;
  EXPECT_TRUE(files.exists(tool));
  for (const char* name : {".hidden", "Program Files/folder", "missing", ""})
    EXPECT_FALSE(files.exists(*name ? (dir / name).string() : "")) << name;

  PosixLauncher launcher;
  EXPECT_TRUE(launcher.launch(tool));
  for (int i = 0; i < 500 && !fs::exists(dir / "tool-ran"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(dir / "tool-ran"));
  EXPECT_FALSE(fs::exists(dir / "wrong-program-ran"));
  for (const std::string& bad :
       {std::string(), (dir / "missing").string(), (dir / "not-executable").string()})
    EXPECT_FALSE(launcher.launch(bad)) << bad;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vx
