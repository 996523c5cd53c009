// Windows: announcing through the system's DNS-SD registration (DnsServiceRegister, Windows 10
// and later), from the system folder's dnsapi.dll bound at run time; where the system has none,
// one line says so. In a file of its own, so that only the programs that announce link it (and
// Winsock with it).
// Asio first: it brings Winsock 2, which must come before windows.h.
#include <fmt/format.h>
#include <boost/asio/io_context.hpp>

#include <windows.h>
// After windows.h, which it needs.
#include <windns.h>

#include <string>
#include <vector>

#include "app/Platform.h"
#include "windows/DllBinding.h"

namespace vx {

namespace {

// The Windows SDK's DNS_REQUEST_PENDING (winerror.h), which mingw-w64 lacks: the registration is
// under way and its callback will say how it ended.
constexpr DWORD kRequestPending = 9506;

using Construct = decltype(&DnsServiceConstructInstance);
using Free = decltype(&DnsServiceFreeInstance);
using Register = decltype(&DnsServiceRegister);

std::wstring wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
  out.resize(out.size() - 1);
  return out;
}

std::string narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

class DnsAnnouncer : public net::Announcer {
 public:
  explicit DnsAnnouncer(net::EventLoop& loop) : log_(loop.log()) {
    // From the system folder only: never a dnsapi.dll put beside the program.
    dll_.find("DnsServiceConstructInstance", construct_);
    dll_.find("DnsServiceFreeInstance", free_);
    dll_.find("DnsServiceRegister", register_);
    dll_.find("DnsServiceDeRegister", deregister_);
  }

  ~DnsAnnouncer() override {
    // Each registration withdrawn, waiting (a little) for the system to say so before its
    // instance goes.
    for (auto& r : registrations_) {
      if (!r->registered) continue;
      ResetEvent(r->done);
      r->request.pRegisterCompletionCallback = withdrawn;
      if (deregister_(&r->request, nullptr) == kRequestPending) WaitForSingleObject(r->done, 2000);
    }
    for (auto& r : registrations_) {
      if (r->instance) free_(r->instance);
      CloseHandle(r->done);
    }
  }
  DnsAnnouncer(const DnsAnnouncer&) = delete;
  DnsAnnouncer& operator=(const DnsAnnouncer&) = delete;

  void publish(const std::vector<net::Service>& services) override {
    if (services.empty()) return;
    if (!construct_ || !free_ || !register_ || !deregister_) {
      net::unavailableAnnouncer(log_,
                                "this system has no DNS-SD registration (DnsServiceRegister, "
                                "Windows 10 and later)")
          ->publish(services);
      return;
    }
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &size);
    const std::wstring host = std::wstring(computer) + L".local";
    for (const net::Service& s : services) {
      auto r = std::make_unique<Registration>();
      r->owner = this;
      r->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      std::vector<std::wstring> keys, values;
      for (const std::string& record : s.txt) {
        keys.push_back(wide(record.substr(0, record.find('='))));
        values.push_back(wide(record.substr(record.find('=') + 1)));
      }
      std::vector<PCWSTR> keyPointers, valuePointers;
      for (std::size_t i = 0; i < keys.size(); ++i) {
        keyPointers.push_back(keys[i].c_str());
        valuePointers.push_back(values[i].c_str());
      }
      const std::wstring name = wide(s.name + "." + s.type + ".local");
      r->instance =
          construct_(name.c_str(), host.c_str(), nullptr, nullptr, s.port, 0, 0,
                     static_cast<DWORD>(keys.size()), keyPointers.data(), valuePointers.data());
      r->request.Version = DNS_QUERY_REQUEST_VERSION1;
      r->request.pServiceInstance = r->instance;
      r->request.pRegisterCompletionCallback = registered;
      r->request.pQueryContext = r.get();
      const DWORD status = r->instance ? register_(&r->request, nullptr) : ERROR_OUTOFMEMORY;
      r->registered = status == kRequestPending;
      if (!r->registered)
        say(fmt::format("not announced on the network: {} (error {})", s.type, status));
      registrations_.push_back(std::move(r));
    }
  }

 private:
  struct Registration {
    DnsAnnouncer* owner = nullptr;
    DNS_SERVICE_REGISTER_REQUEST request{};
    PDNS_SERVICE_INSTANCE instance = nullptr;
    HANDLE done = nullptr;
    bool registered = false;
  };

  // On a thread of the system's: the name it was registered under (the system's alternative
  // when another service had ours), or why not.
  static VOID WINAPI registered(DWORD status, PVOID context, PDNS_SERVICE_INSTANCE instance) {
    auto& r = *static_cast<Registration*>(context);
    if (status != ERROR_SUCCESS)
      r.owner->say(fmt::format("not announced on the network: error {}", status));
    else if (instance && instance->pszInstanceName)
      r.owner->say(
          fmt::format("announced on the network as \"{}\"", narrow(instance->pszInstanceName)));
    if (instance) r.owner->free_(instance);
  }

  static VOID WINAPI withdrawn(DWORD, PVOID context, PDNS_SERVICE_INSTANCE instance) {
    auto& r = *static_cast<Registration*>(context);
    if (instance) r.owner->free_(instance);
    SetEvent(r.done);
  }

  void say(std::string line) { log_.post(std::move(line)); }

  net::Log& log_;
  DllBinding dll_{"dnsapi.dll", {}, true};
  Construct construct_ = nullptr;
  Free free_ = nullptr;
  Register register_ = nullptr;
  Register deregister_ = nullptr;
  std::vector<std::unique_ptr<Registration>> registrations_;
};

}  // namespace

std::unique_ptr<net::Announcer> makeAnnouncer(net::EventLoop& loop) {
  return std::make_unique<DnsAnnouncer>(loop);
}

}  // namespace vx
