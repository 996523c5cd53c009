#pragma once

// Windows only: a DLL bound at run time, as the port-I/O libraries are.

#include <string>

namespace vx {

// Loaded by name at the first use; each function looked up by its plain name at its own first
// use. A DLL that cannot be loaded, or a function that it lacks, raises FatalError naming it and
// saying what to do: for the port-I/O libraries in the run-time error words that the original
// program's users know, for any other DLL in plain words. The DLL stays loaded for the rest of
// the process.
class DllBinding {
 public:
  // name: the file to load ("parllio.dll"); wanted: the DLL to put beside the program ("parllio.dll
  // that came with the board"); missing: what to do when it is not found at all.
  DllBinding(std::string name, std::string wanted, std::string missing, bool portIo = true)
      : name_(std::move(name)),
        wanted_(std::move(wanted)),
        missing_(std::move(missing)),
        portIo_(portIo) {}
  DllBinding(const DllBinding&) = delete;
  DllBinding& operator=(const DllBinding&) = delete;

  const std::string& name() const { return name_; }
  // The function called name, of its own type, looked up (and the DLL loaded) on first use; slot
  // caches it.
  template <typename Function>
  Function function(const char* name, Function& slot) {
    if (!slot) slot = reinterpret_cast<Function>(lookup(name));
    return slot;
  }

 private:
  using Proc = void (*)();
  Proc lookup(const char* name);
  void load();

  std::string name_, wanted_, missing_;
  bool portIo_;
  void* module_ = nullptr;
};

// The system's text for an error code, without its trailing line break and full stop.
std::string systemMessage(unsigned long code);

}  // namespace vx
