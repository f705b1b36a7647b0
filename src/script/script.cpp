#include "script/script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <iterator>
#include <limits>
#include <ostream>
#include <sstream>

#include "sim/simulator.h"
#include "ui/history.h"

namespace mox::script {

namespace {

std::string join(const std::vector<std::string>& items, const std::string& sep) {
  if (items.empty()) return "-";
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? sep : "") + items[i];
  return out;
}

template <typename Array>
std::string numbers(const Array& a) {
  std::string out;
  for (size_t i = 0; i < a.size(); ++i) out += (i ? " " : "") + std::to_string(a[i]);
  return out;
}

std::string hexColour(uint32_t bgr) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
  return buf;
}

}  // namespace

std::optional<Line> parseLine(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  std::istringstream in{std::string(text)};
  Line line;
  in >> line.command;
  if (line.command.empty() || line.command[0] == '#') return std::nullopt;
  in >> line.name >> line.argument;
  return line;
}

std::optional<long long> parseInteger(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  const long long value = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return value;
}

void Driver::fail(long lineNumber, const std::string& why) {
  err_ << "error: line " << lineNumber << ": " << why << "\n";
  err_.flush();
  exitCode_ = 1;
}

namespace {

// What follows a command's name on its line.
enum class Shape {
  Nothing,
  Control,       // NAME
  ControlIndex,  // NAME INDEX: an item of the control's list
  ControlRows,   // NAME ROWS: rows to scroll by, either way
  Count,         // [N]: 1 when left out
  Milliseconds,  // MS
  Window,        // [WINDOW]: the main window when left out
};

// One line being run: what its words came to, and what running it says back.
struct Call {
  App& app;
  HeadlessPlatform& platform;
  std::ostream& out;
  const Line& line;
  const Control* control = nullptr;  // the shapes that start with a control
  long long number = 0;              // the index, rows, count or milliseconds
  Form* window = nullptr;            // Shape::Window
  bool stop = false;                 // the script ends with this line
  std::string error;                 // why the line is refused

  const std::string& name() const { return line.name; }
  const SimState& state() const { return app.sim().state(); }
  // A query's answer: one line of the values given.
  template <typename... T>
  void answer(const T&... values) {
    ((out << values), ...);
    out << "\n";
  }
};

// Reads the words after the command as `shape` has them into `call`; false (with the error set) when they do not
// fit.
bool readWords(Shape shape, Call& call) {
  const std::string& cmd = call.line.command;
  const std::string& name = call.name();
  // A whole number within low..high, from the word given.
  auto number = [&](const std::string& word, long long low, long long high, const std::string& refusal) {
    const std::optional<long long> n = parseInteger(word);
    if (n && *n >= low && *n <= high) {
      call.number = *n;
      return true;
    }
    call.error = cmd + refusal;
    return false;
  };
  if (shape == Shape::Control || shape == Shape::ControlIndex || shape == Shape::ControlRows) {
    if (name.empty()) {
      call.error = cmd + " needs a control name";
      return false;
    }
    call.control = call.app.find(name);
    if (!call.control) {
      call.error = "no control named " + name;
      return false;
    }
  }
  switch (shape) {
    case Shape::Nothing:
    case Shape::Control: return true;
    case Shape::ControlIndex:
      return number(call.line.argument, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max(),
                    " needs an item index");
    case Shape::ControlRows: return number(call.line.argument, -0x7FFFFFFF, 0x7FFFFFFF, " needs a number of rows");
    case Shape::Count: return name.empty() ? (call.number = 1, true) : number(name, 0, 0x7FFFFFFF, " takes a count");
    case Shape::Milliseconds: return number(name, 0, 0xFFFFFFFFll, " takes milliseconds");
    case Shape::Window: {
      App& app = call.app;
      call.window = name.empty() || name == app.mainForm().window().name ? &app.mainForm()
                    : name == app.plannerForm().window().name            ? &app.plannerForm()
                                                                         : nullptr;
      if (!call.window) call.error = "no window named " + name;
      return call.window != nullptr;
    }
  }
  return true;
}

struct Command {
  std::string_view name;
  Shape shape;
  void (*run)(Call&);
};

// clang-format off
const Command kCommands[] = {
    // Events.
    {"click", Shape::Control, [](Call& c) { c.app.click(c.name()); }},
    {"press", Shape::Control, [](Call& c) { c.app.press(c.name()); }},
    {"move", Shape::Control, [](Call& c) { c.app.move(c.name()); }},
    {"select", Shape::ControlIndex, [](Call& c) {
       const auto items = static_cast<long long>(c.control->items.size());
       if (c.control->kind == Kind::DropDown && (c.number < 0 || c.number >= items)) {
         c.error = "item index " + c.line.argument + " is outside the list of " + c.name();
         return;
       }
       c.app.select(c.name(), static_cast<int>(c.number));
     }},
    {"scroll", Shape::ControlRows, [](Call& c) { c.app.scroll(c.name(), static_cast<int>(c.number)); }},
    // Esc that closes the main window ends the session, as it ends the program.
    {"escape", Shape::Window, [](Call& c) { c.stop = c.app.escape(*c.window); }},
    {"wait", Shape::Nothing, [](Call& c) { c.app.settle(); }},
    {"tick", Shape::Count, [](Call& c) { c.app.tickTimers(static_cast<int>(c.number)); }},
    {"clock", Shape::Milliseconds, [](Call& c) { c.platform.setTicks(static_cast<uint32_t>(c.number)); }},
    // Queries of a control.
    {"caption", Shape::Control, [](Call& c) { c.answer(c.control->caption); }},
    {"tag", Shape::Control, [](Call& c) { c.answer(c.control->tag); }},
    {"shown", Shape::Control, [](Call& c) {
       const Form& form = *c.app.formOf(c.name());
       c.answer(form.shown(form.indexOf(c.name())) ? 1 : 0);
     }},
    {"enabled", Shape::Control, [](Call& c) { c.answer(c.control->disabled ? 0 : 1); }},
    {"checked", Shape::Control, [](Call& c) { c.answer(c.control->checked ? 1 : 0); }},
    {"selected", Shape::Control, [](Call& c) { c.answer(c.control->selection); }},
    {"colour", Shape::Control, [](Call& c) { c.answer(hexColour(c.control->textColour)); }},
    {"picture", Shape::Control, [](Call& c) { c.answer(c.control->picture.empty() ? "-" : c.control->picture); }},
    {"rows", Shape::Control, [](Call& c) {
       for (const ListItem& item : c.control->items) c.answer(item.text);
       c.answer("-");
     }},
    {"top", Shape::Control, [](Call& c) { c.answer(c.control->topRow); }},
    // Queries of the program.
    {"history", Shape::Nothing, [](Call& c) {
       c.answer(History::csvHeader());
       for (const HistoryEntry& e : c.app.history().entries()) c.answer(History::csvLine(e));
     }},
    {"stock", Shape::Nothing, [](Call& c) { c.answer(numbers(c.state().itemCount)); }},
    {"used", Shape::Nothing, [](Call& c) { c.answer(numbers(c.state().usedCount)); }},
    {"money", Shape::Nothing, [](Call& c) {
       c.answer(c.state().qCoinBalance, " ", c.state().rechargeTotal, " ", c.state().spendTotal);
     }},
    {"rates", Shape::Nothing, [](Call& c) {
       c.answer(c.state().enhanceRate, " ", c.state().synthesisRate, " ", c.state().synthesisLevel);
     }},
    {"sounds", Shape::Nothing, [](Call& c) { c.answer(join(c.platform.takeSounds(), " ")); }},
    {"banners", Shape::Nothing, [](Call& c) { c.answer(join(c.app.takeBanners(), " ")); }},
    {"clipboard", Shape::Nothing, [](Call& c) { c.answer(c.platform.clipboard()); }},
    {"boxes", Shape::Nothing, [](Call& c) { c.answer(join(c.platform.takeBoxes(), " | ")); }},
    {"quit", Shape::Nothing, [](Call& c) { c.stop = true; }},
};
// clang-format on

}  // namespace

bool Driver::run(const Line& line, long lineNumber) {
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& c) { return c.name == line.command; });
  Call call{app_, platform_, out_, line};
  if (command == std::end(kCommands))
    call.error = "unknown command " + line.command;
  else if (readWords(command->shape, call))
    command->run(call);
  if (!call.error.empty()) fail(lineNumber, call.error);
  out_.flush();
  return !call.stop;
}

int runScript(HeadlessPlatform& platform, std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    App app(platform);
    app.start();
    Driver driver(app, platform, out, err);
    std::string text;
    for (long lineNumber = 1; std::getline(in, text); ++lineNumber) {
      const std::optional<Line> line = parseLine(text);
      if (line && !driver.run(*line, lineNumber)) break;
    }
    return driver.exitCode();
  } catch (const FatalExit& e) {
    out.flush();
    err << e.what();
    err.flush();
    return 255;
  }
}

}  // namespace mox::script
