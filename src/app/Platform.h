#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/BackendOptions.h"
#include "net/Announcer.h"
#include "port/Output.h"
#include "startup/OsServices.h"

namespace vx {

// What each platform supplies to the programs. Defined once per platform folder: posix/ for
// Linux (ppdev) and other POSIX systems, windows/ for Windows (parllio.dll).

// The operating system's services for start-up, given the arguments after the program's name.
// Windows reads its own command line; elsewhere the arguments are joined.
std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments);

// The real port backend.
std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options);

// The options that choose the real port: --port, and where there is a choice of library,
// --port-library.
void addPlatformPortOptions(CLI::App& app, BackendOptions& options, CLI::Option* simulate);

// Raises the limit of open files as far as the system lets the process itself, so that a
// session's clients do not run it out of descriptors; does nothing where there is no such limit.
void raiseOpenFileLimit();

// Files and standard output, written unbuffered and checked: write(2), or the C runtime's _write
// on Windows. Matches OpenSink.
std::unique_ptr<Sink> openFileSink(const std::string& path, std::error_code& error);
std::unique_ptr<Sink> standardOutputSink();

// The system's mDNS responder (Avahi on Linux, DnsServiceRegister on Windows); where there is
// none, one that says so once and publishes nothing.
std::unique_ptr<net::Announcer> makeAnnouncer(net::EventLoop& loop);

}  // namespace vx
