#include "scpi/Scpi.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "board/FrontPanel.h"
#include "board/Identity.h"
#include "board/Selections.h"
#include "port/FatalError.h"

namespace vx {

namespace {

// IEEE 488.2 standard event status bits, set by the class of an error.
constexpr std::uint8_t kOperationComplete = 0x01;
constexpr std::uint8_t kQueryError = 0x04;
constexpr std::uint8_t kDeviceError = 0x08;
constexpr std::uint8_t kExecutionError = 0x10;
constexpr std::uint8_t kCommandError = 0x20;

std::string upper(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return result;
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A mnemonic in SCPI's long and short forms: "CONFigure" accepts CONF and CONFIGURE, in any case.
bool matches(std::string_view mnemonic, std::string_view token) {
  std::string shortForm;
  for (char c : mnemonic)
    if (std::isupper(static_cast<unsigned char>(c))) shortForm += c;
  const std::string given = upper(token);
  return given == shortForm || given == upper(mnemonic);
}

// A choice's SCPI spellings, in upper case.
bool spelled(const Choice& choice, std::string_view value) {
  return value == choice.scpi || (!choice.scpiAlias.empty() && value == choice.scpiAlias);
}

// An error that ends the line: its code and standard message.
struct ScpiError {
  int code;
  const char* message;
};

constexpr ScpiError kSyntaxError{-102, "Syntax error"};
constexpr ScpiError kParameterNotAllowed{-108, "Parameter not allowed"};
constexpr ScpiError kMissingParameter{-109, "Missing parameter"};
constexpr ScpiError kUndefinedHeader{-113, "Undefined header"};
constexpr ScpiError kIllegalValue{-224, "Illegal parameter value"};
constexpr ScpiError kHardwareError{-240, "Hardware error"};

// One command of a program message: its header in upper case without its '?', whether it is a
// query, and its parameters.
struct ScpiCommand {
  std::string header;
  bool query = false;
  std::vector<std::string> parameters = {};
};

// One line as it runs: the board, the client, the answers so far, and the header path that
// chained commands are relative to.
struct Line {
  FrontPanel& panel;
  const ScpiInstrument& instrument;
  ScpiClient& client;
  std::vector<std::string> answers = {};
  std::vector<std::string> path = {};
};

std::string readingAnswer(const FlagReading& reading) {
  std::string answer;
  for (int bit = 0; bit < 6; ++bit) answer += reading.flag(bit) ? "1," : "0,";
  return answer + reading.decimal;
}

// Header, then parameters after white space, separated by commas; none when the header is not
// one (a syntax error).
std::optional<ScpiCommand> parse(std::string_view unit) {
  const auto blank = unit.find_first_of(" \t");
  ScpiCommand c{upper(unit.substr(0, blank))};
  if (blank != std::string_view::npos) {
    std::string_view list = unit.substr(blank + 1);
    for (std::size_t comma; (comma = list.find(',')) != std::string_view::npos;
         list.remove_prefix(comma + 1))
      c.parameters.emplace_back(trim(list.substr(0, comma)));
    c.parameters.emplace_back(trim(list));
  }
  c.query = !c.header.empty() && c.header.back() == '?';
  if (c.query) c.header.pop_back();
  if (c.header.empty() ||
      c.header.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789:*_") != std::string::npos)
    return std::nullopt;
  return c;
}

// The mnemonics of a header, split at its colons; none when one is empty (a syntax error).
std::optional<std::vector<std::string>> mnemonics(std::string_view header) {
  std::vector<std::string> parts;
  for (std::size_t colon; (colon = header.find(':')) != std::string_view::npos;
       header.remove_prefix(colon + 1))
    parts.emplace_back(header.substr(0, colon));
  parts.emplace_back(header);
  if (std::any_of(parts.begin(), parts.end(), [](const auto& p) { return p.empty(); }))
    return std::nullopt;
  return parts;
}

// The node a full header path names: a selection's SCPI node, "READ" or "ERROR"; none when it
// names none.
std::optional<std::string> resolve(const std::vector<std::string>& p) {
  if (p.size() == 2 && matches("CONFigure", p[0])) {
    for (const Selection& s : kSelections)
      if (matches(s.scpiNode, p[1])) return std::string(s.scpiNode);
  }
  if (p.size() == 1 && matches("READ", p[0])) return "READ";
  if ((p.size() == 2 || p.size() == 3) && matches("SYSTem", p[0]) && matches("ERRor", p[1]) &&
      (p.size() == 2 || matches("NEXT", p[2])))
    return "ERROR";
  return std::nullopt;
}

// Common commands: they leave the header path as it is.
std::optional<ScpiError> common(const ScpiCommand& c, Line& line) {
  const std::vector<std::pair<std::string, bool>> known{
      {"*IDN", true}, {"*RST", false}, {"*CLS", false}, {"*OPC", false},
      {"*OPC", true}, {"*ESR", true},  {"*STB", true}};
  if (std::find(known.begin(), known.end(), std::pair{c.header, c.query}) == known.end())
    return kUndefinedHeader;
  if (!c.parameters.empty()) return kParameterNotAllowed;
  if (c.header == "*IDN") {
    line.answers.push_back(scpiIdentity());
  } else if (c.header == "*RST") {
    line.panel.reset();
  } else if (c.header == "*CLS") {
    line.client.clear();
  } else if (c.header == "*OPC") {
    if (c.query)
      line.answers.emplace_back("1");
    else
      line.client.esr |= kOperationComplete;
  } else if (c.header == "*ESR") {
    line.answers.push_back(std::to_string(line.client.esr));
    line.client.esr = 0;
  } else {
    line.answers.push_back(std::to_string(line.instrument.statusByte(line.client)));
  }
  return std::nullopt;
}

// A header from the root (":CONF:RANG") or relative to the chained path ("RANG"); the path it
// leaves is the one the next chained command is relative to.
std::optional<ScpiError> program(const ScpiCommand& c, Line& line) {
  const bool fromRoot = c.header[0] == ':';
  const auto parts = mnemonics(std::string_view(c.header).substr(fromRoot ? 1 : 0));
  if (!parts) return kSyntaxError;
  std::vector<std::string> full = fromRoot ? *parts : line.path;
  if (!fromRoot) full.insert(full.end(), parts->begin(), parts->end());
  std::optional<std::string> node = resolve(full);
  if (!node && !fromRoot) {
    full = *parts;
    node = resolve(full);
  }
  line.path.assign(full.begin(), full.end() - 1);
  const auto setting =
      std::find_if(kSelections.begin(), kSelections.end(),
                   [&node](const Selection& s) { return node && s.scpiNode == *node; });
  const bool missing = std::any_of(c.parameters.begin(), c.parameters.end(),
                                   [](const std::string& p) { return p.empty(); });
  if (!node || ((*node == "READ" || *node == "ERROR") && !c.query)) return kUndefinedHeader;
  if (missing || (setting != kSelections.end() && !c.query && c.parameters.empty()))
    return kMissingParameter;
  if (c.query ? !c.parameters.empty() : c.parameters.size() > 1) return kParameterNotAllowed;
  if (*node == "READ") {
    line.answers.push_back(readingAnswer(line.panel.cmdRead_Click()));
  } else if (*node == "ERROR") {
    line.answers.push_back(line.client.nextError());
  } else if (c.query) {
    const int index = line.panel.selected(setting->id);
    line.answers.emplace_back(index < static_cast<int>(setting->choices.size())
                                  ? setting->choices[static_cast<std::size_t>(index)].scpi
                                  : std::to_string(index));
  } else {
    const std::string value = upper(c.parameters[0]);
    const auto chosen =
        std::find_if(setting->choices.begin(), setting->choices.end(),
                     [&value](const Choice& choice) { return spelled(choice, value); });
    if (chosen == setting->choices.end()) return kIllegalValue;
    line.panel.select(setting->id, static_cast<int>(chosen - setting->choices.begin()));
  }
  return std::nullopt;
}

}  // namespace

std::string scpiIdentity() {
  const Identity i = instrumentIdentity();
  return fmt::format("{},{},{},{}", i.manufacturer, i.model, i.serialNumber, i.firmware);
}

void ScpiClient::error(int code, std::string_view message) {
  const int kind = -code / 100;
  esr |= kind == 1   ? kCommandError
         : kind == 2 ? kExecutionError
         : kind == 4 ? kQueryError
                     : kDeviceError;
  if (errors_.size() < kQueueLength) {
    errors_.push_back(fmt::format("{},\"{}\"", code, message));
  } else {
    errors_.back() = "-350,\"Queue overflow\"";
  }
}

std::string ScpiClient::nextError() {
  if (errors_.empty()) return "0,\"No error\"";
  std::string oldest = std::move(errors_.front());
  errors_.pop_front();
  return oldest;
}

void ScpiClient::clear() {
  errors_.clear();
  esr = 0;
}

// A port that went away costs only the command: it queues -240 with the reason, and the next
// command claims the port again and sends the register images before it runs.
std::optional<std::string> ScpiInstrument::execute(std::string_view line, ScpiClient& client) {
  try {
    if (panel_.disconnected()) panel_.cmdRead_Click();
    auto answers = run(line, client);
    panel_.flush();
    return answers;
  } catch (const PortGoneError& e) {
    std::string reason = e.what();
    std::replace(reason.begin(), reason.end(), '"', '\'');
    client.error(kHardwareError.code, fmt::format("{};{}", kHardwareError.message, reason));
    return std::nullopt;
  }
}

std::optional<std::string> ScpiInstrument::run(std::string_view text, ScpiClient& client) {
  Line line{panel_, *this, client};
  std::string_view rest = text;
  while (true) {
    const auto end = rest.find(';');
    const std::string_view unit = trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!unit.empty() || end != std::string_view::npos) {
      const auto command = unit.empty() ? std::nullopt : parse(unit);
      const auto error = !command                    ? kSyntaxError
                         : command->header[0] == '*' ? common(*command, line)
                                                     : program(*command, line);
      if (error) {
        client.error(error->code, error->message);
        break;
      }
    }
    if (end == std::string_view::npos) break;
  }
  for (const auto& [code, message] : std::exchange(reports_, {})) client.error(code, message);
  if (line.answers.empty()) return std::nullopt;
  std::string joined = line.answers[0];
  for (std::size_t i = 1; i < line.answers.size(); ++i) joined.append(";").append(line.answers[i]);
  return joined;
}

std::uint8_t ScpiInstrument::statusByte(const ScpiClient& client) const {
  return client.queued() ? 4 : 0;
}

// Quotes inside the message are doubled, as in any SCPI string.
void ScpiInstrument::report(int code, std::string_view message) {
  std::string quoted;
  for (char c : message) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  reports_.emplace_back(code, std::move(quoted));
}

std::optional<LineFramer::Event> LineFramer::feed(char byte) {
  if (byte != '\n') {
    if (pending_.size() < kMaxLine) {
      pending_ += byte;
    } else if (!overflowed_) {
      overflowed_ = true;
      return Event{Event::TooLong, {}};
    }
    return std::nullopt;
  }
  const bool dropped = overflowed_;
  overflowed_ = false;
  std::string line = std::move(pending_);
  pending_.clear();
  if (dropped) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const bool text = std::all_of(line.begin(), line.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u < 0x7F) || u == '\t';
  });
  if (!text) return Event{Event::NotText, {}};
  return Event{Event::Line, std::move(line)};
}

}  // namespace vx
