#include "script/script.h"

#include <cstdio>
#include <cstdlib>
#include <istream>
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

bool Driver::run(const Line& line, long lineNumber) {
  const std::string& cmd = line.command;
  const std::string& name = line.name;
  const SimState& state = app_.sim().state();
  auto control = [&]() -> const Control* {
    if (name.empty()) {
      fail(lineNumber, cmd + " needs a control name");
      return nullptr;
    }
    const Control* c = app_.find(name);
    if (!c) fail(lineNumber, "no control named " + name);
    return c;
  };

  if (cmd == "quit") return false;
  if (cmd == "click" || cmd == "press" || cmd == "move") {
    if (!control()) return true;
    if (cmd == "click") app_.click(name);
    else if (cmd == "press") app_.press(name);
    else app_.move(name);
  } else if (cmd == "select") {
    const Control* c = control();
    if (!c) return true;
    const std::optional<long long> index = parseInteger(line.argument);
    if (!index) {
      fail(lineNumber, "select needs an item index");
      return true;
    }
    if (c->kind == Kind::DropDown && (*index < 0 || *index >= static_cast<long long>(c->items.size()))) {
      fail(lineNumber, "item index " + line.argument + " is outside the list of " + name);
      return true;
    }
    app_.select(name, static_cast<int>(*index));
  } else if (cmd == "scroll") {
    if (!control()) return true;
    const std::optional<long long> rows = parseInteger(line.argument);
    if (!rows || *rows < -0x7FFFFFFF || *rows > 0x7FFFFFFF) {
      fail(lineNumber, "scroll needs a number of rows");
      return true;
    }
    app_.scroll(name, static_cast<int>(*rows));
  } else if (cmd == "escape") {
    Form* window = name.empty() || name == app_.mainForm().window().name ? &app_.mainForm()
                   : name == app_.plannerForm().window().name            ? &app_.plannerForm()
                                                                         : nullptr;
    if (!window) {
      fail(lineNumber, "no window named " + name);
      return true;
    }
    // Esc that closes the main window ends the session, as it ends the program.
    if (app_.escape(*window)) return false;
  } else if (cmd == "wait") {
    app_.settle();
  } else if (cmd == "tick") {
    std::optional<long long> n = 1;
    if (!name.empty()) n = parseInteger(name);
    if (!n || *n < 0 || *n > 0x7FFFFFFF) {
      fail(lineNumber, "tick takes a count");
      return true;
    }
    app_.tickTimers(static_cast<int>(*n));
  } else if (cmd == "clock") {
    const std::optional<long long> ms = parseInteger(name);
    if (!ms || *ms < 0 || *ms > 0xFFFFFFFFll) {
      fail(lineNumber, "clock takes milliseconds");
      return true;
    }
    platform_.setTicks(static_cast<uint32_t>(*ms));
  } else if (cmd == "caption" || cmd == "tag" || cmd == "shown" || cmd == "enabled" || cmd == "checked" ||
             cmd == "selected" || cmd == "colour" || cmd == "picture") {
    const Control* c = control();
    if (!c) return true;
    Form& form = *app_.formOf(name);
    const int index = form.indexOf(name);
    if (cmd == "caption") out_ << c->caption;
    else if (cmd == "tag") out_ << c->tag;
    else if (cmd == "shown") out_ << (form.shown(index) ? 1 : 0);
    else if (cmd == "enabled") out_ << (c->disabled ? 0 : 1);
    else if (cmd == "checked") out_ << (c->checked ? 1 : 0);
    else if (cmd == "selected") out_ << c->selection;
    else if (cmd == "colour") out_ << hexColour(c->textColour);
    else out_ << (c->picture.empty() ? "-" : c->picture);
    out_ << "\n";
  } else if (cmd == "rows") {
    const Control* c = control();
    if (!c) return true;
    for (const ListItem& item : c->items) out_ << item.text << "\n";
    out_ << "-\n";
  } else if (cmd == "top") {
    const Control* c = control();
    if (!c) return true;
    out_ << c->topRow << "\n";
  } else if (cmd == "history") {
    out_ << History::csvHeader() << "\n";
    for (const HistoryEntry& e : app_.history().entries()) out_ << History::csvLine(e) << "\n";
  } else if (cmd == "stock") {
    out_ << numbers(state.itemCount) << "\n";
  } else if (cmd == "used") {
    out_ << numbers(state.usedCount) << "\n";
  } else if (cmd == "money") {
    out_ << state.qCoinBalance << " " << state.rechargeTotal << " " << state.spendTotal << "\n";
  } else if (cmd == "rates") {
    out_ << state.enhanceRate << " " << state.synthesisRate << " " << state.synthesisLevel << "\n";
  } else if (cmd == "sounds") {
    out_ << join(platform_.takeSounds(), " ") << "\n";
  } else if (cmd == "banners") {
    out_ << join(app_.takeBanners(), " ") << "\n";
  } else if (cmd == "clipboard") {
    out_ << platform_.clipboard() << "\n";
  } else if (cmd == "boxes") {
    out_ << join(platform_.takeBoxes(), " | ") << "\n";
  } else {
    fail(lineNumber, "unknown command " + cmd);
  }
  out_.flush();
  return true;
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
