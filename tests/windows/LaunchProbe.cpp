// A program for the launch tests: it leaves a file named after itself plus ".ran" beside itself,
// so that a test can see that it was started, and ends.
#include <windows.h>

#include <fstream>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH + 4] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::ofstream(lstrcatA(path, ".ran")) ? 0 : 1;
}
