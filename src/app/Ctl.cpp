#include "app/Ctl.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <fmt/ostream.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <boost/asio/ip/host_name.hpp>
#include <nlohmann/json.hpp>

#include "app/StreamMessages.h"
#include "board/FrontPanel.h"
#include "board/Identity.h"
#include "board/Selections.h"
#include "net/Interfaces.h"
#include "port/FatalError.h"
#include "port/Port.h"
#include "scpi/Session.h"
#include "startup/PortMenu.h"
#include "startup/Startup.h"
#include "web/WebServer.h"
#ifdef VX_HAVE_VXI11
#include "vxi11/Vxi11Server.h"
#endif

namespace vx {

namespace {

// The selections the user gave, as choice indexes in the table's order; -1 when not given.
using Picks = std::array<int, kSelectionCount>;

struct CtlOptions {
  BackendOptions backend;
  Picks picks = [] {
    Picks none;
    none.fill(-1);
    return none;
  }();
  int count = 1;
  int intervalMs = 1000;
  bool json = false;
  bool repeated = false;
  std::string serve;  // a SCPI session: "-" for standard input, else where to listen
  std::string web;    // where the web panel listens
  bool noAnnounce = false;
  std::string announceName;  // the services' name on the network; "" for the usual one
  bool listSelections = false;
  std::string vxi11;  // where the VXI-11 session listens
};

// Adds a selection's option: its value is one of the choices' names, in any letter case, stored
// as the choice's index.
void addChoice(CLI::App& app, const Selection& selection, int& index) {
  std::vector<std::string> names;
  for (const Choice& choice : selection.choices) names.emplace_back(choice.cli);
  std::string typeName = fmt::format("{}", fmt::join(names, "|"));
  app.add_option_function<std::string>(
         std::string(selection.option),
         [names, &index](const std::string& value) {
           const auto same = [&value](const std::string& name) {
             return CLI::detail::to_lower(name) == CLI::detail::to_lower(value);
           };
           index = static_cast<int>(std::find_if(names.begin(), names.end(), same) - names.begin());
         },
         std::string(selection.optionHelp))
      ->type_name(typeName)
      // The validators here describe nothing: --help names each value once, in the type name.
      ->check(CLI::IsMember(names, CLI::ignore_case).description(""));
}

// A TCP listening address, or with stdin also "-".
CLI::Validator listenAddress(bool orStandardInput) {
  return CLI::Validator(
      [orStandardInput](std::string& text) {
        return (orStandardInput && text == "-") || net::parseListenAddress(text)
                   ? std::string()
                   : fmt::format("must be {}a port (0..65535), or ADDRESS:PORT with an IP address",
                                 orStandardInput ? "-, " : "");
      },
      "");  // the type name says what it takes; --help names it once
}

// What the network faces drive once start-up is done.
struct Targets {
  ScpiInstrument& instrument;
  WebPanel* webPanel;
};
// A face that listens, ready to serve once start-up is done, and where it listens (for the
// announcements and the identification document).
struct Opened {
  std::function<void(Targets&)> start;
  net::OpenInterface where;
};

// The network faces, one entry each: its option, where it listens ("" when not asked for, "-"
// for standard input), and how it opens. Opening listens before anything reaches the port, so
// that an address that cannot be used is bad input.
struct Face {
  const char* option;
  const std::string& where;
  std::function<Opened(net::EventLoop&, const net::ListenAddress&)> open;
};

std::vector<Face> faces(const CtlOptions& o, [[maybe_unused]] CtlEnvironment& env) {
  const auto where = [](net::InterfaceKind kind, const net::ListenAddress& at) {
    return net::OpenInterface{kind, at.address, at.port};
  };
  std::vector<Face> all{
      {"--serve", o.serve,
       [where](net::EventLoop& loop, const net::ListenAddress& at) -> Opened {
         auto session = std::make_shared<TcpSession>(loop, at);
         return {[session](Targets& t) { session->start(t.instrument); },
                 where(net::InterfaceKind::ScpiRaw, session->bound())};
       }},
      {"--web", o.web, [where](net::EventLoop& loop, const net::ListenAddress& at) -> Opened {
         auto web = std::make_shared<WebServer>(loop, at);
         return {[web](Targets& t) { web->start(*t.webPanel); },
                 where(net::InterfaceKind::Web, web->bound())};
       }}};
#ifdef VX_HAVE_VXI11
  all.push_back({"--vxi11", o.vxi11,
                 [&env, where](net::EventLoop& loop, const net::ListenAddress& at) -> Opened {
                   auto server = std::make_shared<vxi11::Vxi11Server>(loop, at, env.portmapper());
                   return {[server](Targets& t) { server->start(t.instrument); },
                           where(net::InterfaceKind::Vxi11, server->bound())};
                 }});
#endif
  return all;
}

std::vector<Opened> listen(net::EventLoop& loop, const std::vector<Face>& faces) {
  std::vector<Opened> opened;
  for (const Face& face : faces) {
    if (face.where.empty() || face.where == "-") continue;
    try {
      opened.push_back(face.open(loop, *net::parseListenAddress(face.where)));
    } catch (const std::exception& e) {
      throw InputError(
          fmt::format("{}: cannot listen on {}: {}", face.option, face.where, e.what()));
    }
  }
  return opened;
}

void buildParser(CLI::App& app, CtlOptions& o, const PortOptions& portOptions) {
  app.description(
      "Drives the VX3340 evaluation board from the command line: applies the selections given, "
      "each followed by a full refresh as a pick in the window does, and prints the six flags.");
  addBackendOptions(app, o.backend, portOptions);
  for (std::size_t i = 0; i < kSelections.size(); ++i) addChoice(app, kSelections[i], o.picks[i]);
  auto* count = app.add_option("--count", o.count, "Read the flags N times (default 1)")
                    ->type_name("N")
                    ->check(CLI::Range(1, 1000000).description(""));
  app.add_option("--interval", o.intervalMs, "Wait MS milliseconds between reads (default 1000)")
      ->type_name("MS")
      ->check(CLI::Range(0, 3600000).description(""))
      ->needs(count);
  auto* json = app.add_flag("--json", o.json, "Print one JSON object per read");
  app.add_option("--serve", o.serve,
                 "Keep the board and take SCPI commands: on TCP at [ADDRESS:]PORT (address "
                 "127.0.0.1 unless given; 5025 is usual), or on standard input with -")
      ->type_name("[ADDRESS:]PORT|-")
      ->check(listenAddress(true))
      ->excludes(count)
      ->excludes(json);
  app.add_option("--web", o.web,
                 "Serve the front panel to web browsers at http://[ADDRESS:]PORT/ (address "
                 "127.0.0.1 unless given; port 0 picks a free one), alone or beside --serve")
      ->type_name("[ADDRESS:]PORT")
      ->check(listenAddress(false))
      ->excludes(count)
      ->excludes(json);
  app.add_flag("--no-announce", o.noAnnounce,
               "Do not announce the sessions that listen beyond loopback on the local network "
               "(mDNS/DNS-SD)");
  app.add_option("--announce-name", o.announceName,
                 "Announce the sessions as NAME (cut to 63 bytes) instead of \"VX3340 evaluation "
                 "board on HOST\": each copy that runs on one host needs its own")
      ->type_name("NAME");
  app.add_flag("--list-selections", o.listSelections,
               "Print the board's selections as JSON (SCPI command and values, option and "
               "values, the window's items), for scripts and drivers, and do nothing else");
  app.add_option("--vxi11", o.vxi11,
                 "Take SCPI commands over VXI-11 (VISA's TCPIP::host::INSTR) at [ADDRESS:]PORT "
                 "(address 127.0.0.1 unless given; port 0 picks a free one), registered with the "
                 "host's portmapper; alone or beside --serve and --web. Not on Windows")
      ->type_name("[ADDRESS:]PORT")
      ->check(listenAddress(false))
      ->excludes(count)
      ->excludes(json);
  app.allow_extras();
  app.footer(
      "Examples:\n"
      "  vx3340ctl --simulate --range 400uA --force voltage\n"
      "  vx3340ctl --simulate --sim-load 1k --range 4mA --force current --json\n"
      "  vx3340ctl --count 10 --interval 500          live readback, one line per read\n"
      "  vx3340ctl --simulate --trace - --standby on  every port access shown\n"
      "  vx3340ctl --serve 5025                       SCPI on 127.0.0.1:5025\n"
      "  echo '*IDN?;READ?' | vx3340ctl --simulate --serve -\n"
      "  vx3340ctl --simulate --web 8080              panel at http://127.0.0.1:8080/\n"
      "  vx3340ctl --simulate --vxi11 0               VISA at TCPIP::127.0.0.1::INSTR\n"
      "\n"
      "Exit codes: 0 done, 2 bad input (nothing sent), 3 no port, 4 protocol violation\n"
      "(simulated board), 5 run-time error.");
}

std::string timestamp(std::chrono::system_clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  return fmt::format("{:%Y-%m-%dT%H:%M:%S}.{:03}Z", fmt::gmtime(seconds), ms.count() % 1000);
}

std::string formatReading(const FlagReading& r, const CtlOptions& o, const std::string& time) {
  if (o.json) {
    nlohmann::ordered_json j;
    if (o.repeated) j["time"] = time;
    for (std::size_t i = 0; i < kFlagNames.size(); ++i)
      j[std::string(kFlagNames[i])] = r.flag(static_cast<int>(i)) ? 1 : 0;
    j["hex"] = fmt::format("0x{:02X}", r.flagByte);
    j["decimal"] = r.flagByte;
    return j.dump();
  }
  std::string line = o.repeated ? time + " " : std::string();
  for (std::size_t i = 0; i < kFlagNames.size(); ++i)
    line += fmt::format("{}={} ", kFlagNames[i], r.captions[i]);
  line += fmt::format("byte=0x{:02X} decimal={}", r.flagByte, r.decimal);
  return line;
}

// The selections in their fixed order, each one a pick and a full refresh. With none, one
// refresh, as Read does, when a reading is wanted.
std::optional<FlagReading> applySelections(FrontPanel& panel, const Picks& picks, bool readIfNone) {
  bool any = false;
  FlagReading last;
  for (std::size_t i = 0; i < kSelections.size(); ++i) {
    if (picks[i] < 0) continue;
    last = panel.select(kSelections[i].id, picks[i]);
    any = true;
  }
  if (any) return last;
  if (readIfNone) return panel.cmdRead_Click();
  return std::nullopt;
}

// The one table of selections, for drivers generated from it or checked against it.
std::string selectionsJson() {
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  for (const Selection& s : kSelections) {
    nlohmann::ordered_json scpi = nlohmann::ordered_json::array(), cli = scpi, items = scpi;
    for (const Choice& c : s.choices) {
      scpi.push_back(c.scpi);
      cli.push_back(c.cli);
      items.push_back(c.item);
    }
    all.push_back({{"scpi", fmt::format("CONFigure:{}", s.scpiNode)},
                   {"values", scpi},
                   {"option", s.option},
                   {"optionValues", cli},
                   {"items", items}});
  }
  return all.dump();
}

int badInput(CtlEnvironment& env, const std::string& what) {
  fmt::print(env.err, "{}: {} (see {} --help)\n", env.program, what, env.program);
  return kExitBadInput;
}

// Each recorder's failure, once; the exit code they call for, else code.
int reportFailures(const std::vector<std::string>& failures, CtlEnvironment& env, int code) {
  for (const std::string& failure : failures) fmt::print(env.err, "{}: {}\n", env.program, failure);
  return failures.empty() ? code : kExitRuntimeError;
}

// The options that cannot be used together, or here: the exit code when the run ends before it
// starts. Without VXI-11 (Windows), --vxi11 beside another session is said and dropped.
std::optional<int> refuseOptions(CLI::App& app, CtlOptions& o, CtlEnvironment& env) {
  for (const auto& extra : app.remaining()) {
    if (!isStatusSwitch(extra)) return badInput(env, "unknown argument " + extra);
  }
  if (o.serve == "-" && (!o.web.empty() || !o.vxi11.empty()))
    return badInput(env,
                    "--web and --vxi11 run beside --serve [ADDRESS:]PORT, not beside --serve -");
#ifndef VX_HAVE_VXI11
  if (!o.vxi11.empty()) {
    // No portmapper to register with, so no VISA would find it: said, and the other sessions run.
    // Alone there is nothing to run, and a one-shot read would not be what was asked for.
    if (o.serve.empty() && o.web.empty())
      return badInput(env,
                      "--vxi11: VXI-11 is not available on Windows (no portmapper to register "
                      "with); use --serve, VISA's TCPIP::host::5025::SOCKET");
    fmt::print(env.err,
               "{}: --vxi11: VXI-11 is not available on Windows (no portmapper to register with); "
               "the other sessions run\n",
               env.program);
    o.vxi11.clear();
  }
#endif
  return std::nullopt;
}

// Publishes the interfaces that listen beyond loopback through the system's mDNS responder,
// unless told not to; a loopback-only session has nothing to announce and says nothing.
std::unique_ptr<net::Announcer> publishServices(net::EventLoop& loop,
                                                const net::OpenInterfaces& open,
                                                const CtlOptions& o, CtlEnvironment& env) {
  const auto services = net::announcements(
      open, instrumentIdentity(), net::instanceName(o.announceName, boost::asio::ip::host_name()));
  if (o.noAnnounce || services.empty() || !env.announcer) return nullptr;
  auto announcer = env.announcer(loop);
  if (announcer) announcer->publish(services);
  return announcer;
}

// The network's part of a run: the one loop, in one thread, that every TCP session runs on (one
// board, one state), and what listens on it.
struct Network {
  std::unique_ptr<net::EventLoop> loop;
  std::vector<Opened> opened;
  net::OpenInterfaces open;
};

Network listenAll(const CtlOptions& o, CtlEnvironment& env) {
  Network n;
  n.loop = std::make_unique<net::EventLoop>(env.err, env.program);
  n.opened = listen(*n.loop, faces(o, env));
  for (const Opened& face : n.opened) n.open.push_back(face.where);
  return n;
}

// Serves the sessions until they end: over TCP on the loop, or one on standard input and output.
// The exit code.
int serve(const CtlOptions& o, CtlEnvironment& env, Backend& backend, FrontPanel& panel,
          Network* network, std::optional<WebPanel>& webPanel) {
  applySelections(panel, o.picks, false);
  ScpiInstrument instrument(panel);
  // A recorder that cannot write stops; the session says so once and goes on serving.
  backend.onFailure([&](const std::string& failure) {
    fmt::print(env.err, "{}: {}; it stops here, the session goes on\n", env.program, failure);
    env.err.flush();
    instrument.report(-250, "Mass storage error;" + failure);
    if (webPanel) webPanel->recorderStopped(failure);
  });
  if (network) {
    if (webPanel) webPanel->identify(network->open);
    Targets targets{instrument, webPanel ? &*webPanel : nullptr};
    for (const Opened& face : network->opened) face.start(targets);
    // Destroyed before the loop: it withdraws what it published when the session ends.
    const auto announcer = publishServices(*network->loop, network->open, o, env);
    network->loop->run();
  } else {
    serveStream(env.in, env.out, instrument);
  }
  env.out.flush();
  const bool lost = !backend.finish().empty();
  backend.onFailure(nullptr);
  const SimulatedBoard* board = backend.simulatedBoard();
  const int code = board ? reportViolations(*board, env.err, env.program) : kExitOk;
  return lost ? kExitRuntimeError : code;
}

// The one-shot run: the selections given, then the flags read --count times.
int readFlags(const CtlOptions& o, CtlEnvironment& env, Backend& backend, FrontPanel& panel) {
  FlagReading reading = *applySelections(panel, o.picks, true);
  fmt::print(env.out, "{}\n", formatReading(reading, o, timestamp(env.now())));
  for (int i = 1; i < o.count; ++i) {
    env.out.flush();
    if (env.out.bad() || !backend.failures().empty()) break;  // what was asked is lost
    env.sleep(std::chrono::milliseconds(o.intervalMs));
    reading = panel.cmdRead_Click();
    fmt::print(env.out, "{}\n", formatReading(reading, o, timestamp(env.now())));
  }
  env.out.flush();
  const SimulatedBoard* board = backend.simulatedBoard();
  const int code = board ? reportViolations(*board, env.err, env.program) : kExitOk;
  return reportFailures(backend.finish(), env, code);
}

int run(const std::vector<std::string>& arguments, CtlEnvironment& env) {
  CtlOptions o;
  CLI::App app{"", env.program};
  buildParser(app, o, env.portOptions);
  if (const auto exit = parseArguments(app, arguments, env.out, env.err)) return *exit;
  o.repeated = app.count("--count") > 0;
  if (const auto exit = refuseOptions(app, o, env)) return *exit;
  if (o.listSelections) {
    fmt::print(env.out, "{}\n", selectionsJson());
    return kExitOk;
  }
  o.backend.recordLines = !o.web.empty();
  const bool tcp = (!o.serve.empty() && o.serve != "-") || !o.web.empty() || !o.vxi11.empty();
  try {
    std::optional<Network> network;
    if (tcp) network = listenAll(o, env);
    const auto backend = std::make_unique<Backend>(
        o.backend, env.out, env.openFile, o.backend.simulate ? nullptr : env.realPort(o.backend),
        env.program);
    Port port(backend->library());
    auto os = env.os(arguments);
    StreamMessages messages(env.err);
    PortMenuFlags menu;
    Startup(port, *os, messages, menu).Main();
    if (port.PortBase() == 0) {
      const std::string adapter = backend->library().adapter();
      fmt::print(
          env.err, "{}: {}; nothing was sent to the board\n", env.program,
          adapter.empty() ? "no parallel-port address was found" : adapter + " could not be used");
      return kExitNoPort;
    }
    FrontPanel panel(port);
    panel.onReconnect([&port] { reclaimPort(port); });
    std::optional<WebPanel> webPanel;
    if (!o.web.empty())
      webPanel.emplace(panel, *backend->lines(), [&env] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(env.now().time_since_epoch())
            .count();
      });
    if (!o.serve.empty() || tcp)
      return serve(o, env, *backend, panel, network ? &*network : nullptr, webPanel);
    return readFlags(o, env, *backend, panel);
  } catch (const InputError& e) {
    return badInput(env, e.what());
  } catch (const std::exception& e) {
    env.out.flush();
    fmt::print(env.err, "{}: {}\n", env.program, e.what());
    return kExitRuntimeError;
  }
}

}  // namespace

int reportViolations(const SimulatedBoard& board, std::ostream& err, const std::string& program) {
  for (const auto& v : board.violations())
    fmt::print(err, "{}: protocol violation: {}\n", program, v);
  return board.violations().empty() ? kExitOk : kExitProtocolViolation;
}

// Standard output that could not be written ends the run with a message, as the shell's own
// tools do.
int runCtl(const std::vector<std::string>& arguments, CtlEnvironment& env) {
  const int code = run(arguments, env);
  env.out.flush();
  const std::error_code error = outputError(env.out);
  if (!error) return code;
  fmt::print(env.err, "{}: standard output could not be written: {}\n", env.program,
             error.message());
  return code == kExitOk ? kExitRuntimeError : code;
}

}  // namespace vx
