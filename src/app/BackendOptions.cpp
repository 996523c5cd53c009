#include "app/BackendOptions.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <algorithm>
#include <charconv>
#include <ctime>
#include <set>
#include <sstream>

#include "Version.h"
#include "app/ExitCodes.h"
#include "startup/Startup.h"

namespace vx {

namespace {

// A byte in decimal or with a 0x prefix.
std::optional<std::uint8_t> parseByte(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 255)
    return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

// Words of text, wrapped into lines of at most width characters; a newline in the text ends a
// line where it stands.
std::string wrap(const std::string& text, std::size_t width) {
  std::string wrapped, line;
  std::istringstream paragraphs(text);
  for (std::string paragraph; std::getline(paragraphs, paragraph);) {
    std::istringstream words(paragraph);
    for (std::string word; words >> word;) {
      if (!line.empty() && line.size() + 1 + word.size() > width) {
        wrapped += line + '\n';
        line.clear();
      }
      line += (line.empty() ? "" : " ") + word;
    }
    wrapped += line + '\n';
    line.clear();
  }
  if (!wrapped.empty()) wrapped.pop_back();
  return wrapped;
}

// Options written out once each, as git and sigrok-cli write theirs: the option and its value's
// name in the left column, and beside it what it does, wrapped to fit 80 columns, with what it
// needs and what it excludes in plain words.
class HelpFormatter : public CLI::Formatter {
 public:
  static constexpr std::size_t kWidth = 80;
  static constexpr std::size_t kColumn = 30;

  HelpFormatter() { column_width(kColumn); }

  std::string make_description(const CLI::App* app) const override {
    const std::string& text = app->get_description();
    return text.empty() ? std::string() : wrap(text, kWidth) + "\n\n";
  }

  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_type_size() == 0 ? std::string() : " " + option->get_type_name();
  }

  std::string make_option_desc(const CLI::Option* option) const override {
    std::string text = option->get_description();
    if (!option->get_needs().empty()) text += "; only with " + names(option->get_needs(), "and");
    if (!option->get_excludes().empty())
      text += "; not with " + names(option->get_excludes(), "or");
    return wrap(text, kWidth - kColumn);
  }

 private:
  // "--a", "--a or --b", "--a, --b or --c", in alphabetical order.
  static std::string names(const std::set<CLI::Option*>& options, std::string_view conjunction) {
    std::vector<std::string> all;
    for (const CLI::Option* o : options) all.push_back(o->get_name());
    std::sort(all.begin(), all.end());
    const std::string last = all.back();
    all.pop_back();
    if (all.empty()) return last;
    return fmt::format("{} {} {}", fmt::join(all, ", "), conjunction, last);
  }
};

}  // namespace

void addBackendOptions(CLI::App& app, BackendOptions& options, const PortOptions& portOptions) {
  auto* simulate = app.add_flag("--simulate", options.simulate,
                                "Run on the simulated board instead of a real port");
  app.add_option_function<std::string>(
         "--sim-load",
         [&options](const std::string& text) { options.sim.loadOhms = *parseOhms(text); },
         "Simulated load resistance in ohms, with an optional k or M suffix (default 10k)")
      ->type_name("OHMS")
      ->check([](const std::string& text) {
        return parseOhms(text) ? std::string()
                               : "must be a positive resistance such as 470, 10k or 2.2M";
      })
      ->needs(simulate);
  app.add_option_function<std::string>(
         "--sim-flags",
         [&options](const std::string& text) { options.sim.fixedFlags = parseByte(text); },
         "Make the simulated board answer with this flag byte (0..255 or 0x00..0xFF)")
      ->type_name("BYTE")
      ->check([](const std::string& text) {
        return parseByte(text) ? std::string() : "must be a byte: 0..255 or 0x00..0xFF";
      })
      ->needs(simulate);
  app.add_flag("--sim-no-board", options.sim.noBoard,
               "Simulate a port with no board on it: the data lines read 0xFF")
      ->needs(simulate);
  app.add_option("--trace", options.tracePath,
                 "Write every port-library call to FILE, or to standard output with -")
      ->type_name("FILE|-");
  app.add_option("--vcd", options.vcdPath,
                 "Draw the port's lines into FILE as a Value Change Dump, for PulseView or GTKWave")
      ->type_name("FILE")
      ->check([](const std::string& path) {
        return path == "-" ? "a waveform goes to a file, not to standard output" : "";
      });
  if (portOptions) portOptions(app, options, simulate);
}

std::optional<int> parseArguments(CLI::App& app, const std::vector<std::string>& arguments,
                                  std::ostream& out, std::ostream& err) {
  app.set_version_flag("--version", kVersionText);
  app.formatter(std::make_shared<HelpFormatter>());
  try {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::CallForVersion&) {
    out << kVersionText << '\n';
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    err << app.get_name() << ": " << e.what() << " (see " << app.get_name() << " --help)\n";
    return kExitBadInput;
  }
  return std::nullopt;
}

bool isStatusSwitch(const std::string& argument) {
  return asksForStatus(argument);
}

namespace {

std::unique_ptr<Sink> openOutput(const OpenSink& open, const std::string& option,
                                 const std::string& path) {
  std::error_code error;
  auto sink = open(path, error);
  if (!sink) throw InputError(option + ": cannot write to " + path);
  return sink;
}

}  // namespace

Backend::Backend(const BackendOptions& options, std::ostream& standardOutput, const OpenSink& open,
                 std::unique_ptr<PortLibrary> real, const std::string& program) {
  if (options.tracePath == "-")
    trace_ = record("trace", "standard output", std::make_unique<StreamSink>(standardOutput));
  else if (!options.tracePath.empty())
    trace_ = record("trace", options.tracePath, openOutput(open, "--trace", options.tracePath));
  if (!options.vcdPath.empty())
    vcdFile_ = record("waveform", options.vcdPath, openOutput(open, "--vcd", options.vcdPath));
  if (options.simulate) {
    auto board = std::make_unique<SimulatedBoard>(options.sim);
    simulated_ = board.get();
    backend_ = std::move(board);
  } else {
    backend_ = std::move(real);
  }
  if (vcdFile_ || options.recordLines) {
    // The simulated port takes one fixed step per access; a real one, the time it really takes.
    lines_ = std::make_unique<LineRecorder>(*backend_,
                                            options.simulate ? fixedStepClock() : steadyClock());
  }
  if (vcdFile_) {
    const std::time_t now = std::time(nullptr);
    vcd_ = std::make_unique<VcdWriter>(*lines_, vcdFile_->stream,
                                       fmt::format("{} {}", program, kVersionText),
                                       fmt::format("{:%a %b %d %H:%M:%S %Y}", fmt::localtime(now)));
  }
  if (trace_)
    tracer_ = std::make_unique<TracingPortLibrary>(lines_ ? *lines_ : *backend_, trace_->stream);
}

Backend::~Backend() {
  report_ = nullptr;
  finish();
}

std::unique_ptr<Backend::Recorder> Backend::record(const char* what, const std::string& path,
                                                   std::unique_ptr<Sink> sink) {
  auto recorder = std::make_unique<Recorder>(
      std::move(sink), fmt::format("the {} could not be written to {}", what, path));
  recorder->buffer.onFailure([this](const std::string& failure) {
    failures_.push_back(failure);
    if (report_) report_(failure);
  });
  return recorder;
}

void Backend::onFailure(std::function<void(const std::string&)> report) {
  report_ = std::move(report);
  if (report_)
    for (const std::string& failure : failures_) report_(failure);
}

const std::vector<std::string>& Backend::finish() {
  vcd_.reset();  // a waveform with no access gets its header now
  for (Recorder* r : {trace_.get(), vcdFile_.get()})
    if (r) r->buffer.close();
  return failures_;
}

PortLibrary& Backend::library() {
  if (tracer_) return *tracer_;
  if (lines_) return *lines_;
  return *backend_;
}

}  // namespace vx
