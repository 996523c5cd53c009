#pragma once

// Windows only: a DLL bound at run time, as the port-I/O libraries and ftd2xx.dll are.

#include <functional>
#include <string>

namespace vx {

// Why a DLL or one of its functions cannot be had, for the message its user gives.
struct DllFault {
  enum class Kind { NotFound, NotLoaded, NoFunction };
  Kind kind;
  std::string dll{};       // the file's name, as it was loaded
  std::string error{};     // NotLoaded: the system's text for the failure
  std::string function{};  // NoFunction: the function the DLL lacks
  std::string path{};      // NoFunction: where the DLL was found
};

// The message for a fault: what is wrong, and what to do.
using DllMessages = std::function<std::string(const DllFault&)>;

// The original program's run-time error words, which its users know, for the port-I/O libraries:
// wanted, the DLL to put beside the program ("parllio.dll that came with the board"); missing,
// what to do when it is not found at all.
DllMessages runTimeErrors(std::string wanted, std::string missing);

// Loaded by name at the first use; each function looked up by its plain name at its own first
// use. The DLL stays loaded for the rest of the process.
class DllBinding {
 public:
  // name: the file to load ("parllio.dll"); systemOnly: from the system folder alone, never a DLL
  // of that name beside the program. messages: what function() raises (a binding used only
  // through find() needs none).
  DllBinding(std::string name, DllMessages messages, bool systemOnly = false)
      : name_(std::move(name)), messages_(std::move(messages)), systemOnly_(systemOnly) {}
  DllBinding(const DllBinding&) = delete;
  DllBinding& operator=(const DllBinding&) = delete;

  const std::string& name() const { return name_; }
  // The function called name, of its own type, looked up (and the DLL loaded) on first use; slot
  // caches it. A DLL that cannot be loaded, or a function that it lacks, raises FatalError with
  // the caller's message.
  template <typename Function>
  Function function(const char* name, Function& slot) {
    if (!slot) slot = reinterpret_cast<Function>(lookup(name));
    return slot;
  }
  // The same for what the program can do without: null where the DLL or the function is missing.
  template <typename Function>
  Function find(const char* name, Function& slot) {
    if (!slot) slot = reinterpret_cast<Function>(address(name));
    return slot;
  }

 private:
  using Proc = void (*)();
  Proc lookup(const char* name);
  Proc address(const char* name);
  // Whether the DLL is loaded, loading it now if it was not; GetLastError says why not.
  bool load();

  std::string name_;
  DllMessages messages_;
  bool systemOnly_;
  void* module_ = nullptr;
};

// The system's text for an error code, without its trailing line break and full stop.
std::string systemMessage(unsigned long code);

}  // namespace vx
