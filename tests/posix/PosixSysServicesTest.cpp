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
  // Scripts that leave NAME.ran when they run: "Program" would run were the path split at its
  // space; the last may not be run.
  for (const char* name : {"Program", "Program Files/tool", "not-executable"}) {
    std::ofstream(dir / name) << "#!/bin/sh\ntouch '" << (dir / name).string() << ".ran'\n";
    if (std::string(name) != "not-executable") fs::permissions(dir / name, fs::perms::owner_all);
  }
  std::ofstream(dir / ".hidden") << "x";
  const std::string tool = (dir / "Program Files" / "tool").string();

  PosixFileTest files;
  EXPECT_TRUE(files.exists(tool));
  for (const char* name : {".hidden", "Program Files/folder", "missing", ""})
    EXPECT_FALSE(files.exists(*name ? (dir / name).string() : "")) << name;

  PosixLauncher launcher;
  EXPECT_TRUE(launcher.launch(tool));
  for (int i = 0; i < 500 && !fs::exists(tool + ".ran"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(tool + ".ran"));
  EXPECT_FALSE(fs::exists(dir / "Program.ran"));
  for (const std::string& bad :
       {std::string(), (dir / "missing").string(), (dir / "not-executable").string()})
    EXPECT_FALSE(launcher.launch(bad)) << bad;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vx
