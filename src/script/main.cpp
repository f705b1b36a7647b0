// moxsim-script: the program's behaviour as seen from outside. Runs start-up with a directory as the program's
// directory, reads one command per line and prints one line per query.
//
//   events:  click NAME | press NAME | move NAME | select NAME INDEX | scroll NAME ROWS | tick [N] | clock MS |
//            escape [WINDOW: 主窗口 (default) or 规划窗口] | wait
//   queries: caption NAME | tag NAME | shown NAME | enabled NAME | checked NAME | selected NAME | colour NAME |
//            picture NAME | rows NAME | stock | used | money | rates | sounds | banners | boxes | history
//   quit
// Controls of every window are named alike (the names are unique across the windows). `wait` lets figuring
// under way finish and shows its results; `history` prints the record of attempts as its CSV export holds it.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"
#include "ui/history.h"

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

bool parseInt(const std::string& s, long long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  out = std::strtoll(s.c_str(), &end, 10);
  return *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path dir = argc > 1 ? argv[1] : ".";
  if (!std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "error: not a directory: %s\n", reinterpret_cast<const char*>(dir.u8string().c_str()));
    return 1;
  }
  mox::HeadlessPlatform platform(dir);
  int exitCode = 0;
  try {
    mox::App app(platform);
    app.start();
    const mox::SimState& state = app.sim().state();

    std::string line;
    long lineNo = 0;
    while (std::getline(std::cin, line)) {
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::istringstream in(line);
      std::string cmd, name, extra, more;
      in >> cmd;
      if (cmd.empty() || cmd[0] == '#') continue;
      in >> name >> extra >> more;
      auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "error: line %ld: %s\n", lineNo, why.c_str());
        exitCode = 1;
      };
      auto control = [&]() -> const mox::Control* {
        if (name.empty()) {
          fail(cmd + " needs a control name");
          return nullptr;
        }
        const mox::Control* c = app.find(name);
        if (!c) fail("no control named " + name);
        return c;
      };

      if (cmd == "quit") break;
      if (cmd == "click" || cmd == "press" || cmd == "move") {
        if (!control()) continue;
        if (cmd == "click") app.click(name);
        else if (cmd == "press") app.press(name);
        else app.move(name);
      } else if (cmd == "select") {
        long long index;
        if (!control()) continue;
        if (!parseInt(extra, index)) {
          fail("select needs an item index");
          continue;
        }
        const mox::Control* c = app.find(name);
        if (c->kind == mox::Kind::DropDown && (index < 0 || index >= static_cast<long long>(c->items.size()))) {
          fail("item index " + extra + " is outside the list of " + name);
          continue;
        }
        app.select(name, static_cast<int>(index));
      } else if (cmd == "scroll") {
        long long rows;
        if (!control()) continue;
        if (!parseInt(extra, rows)) {
          fail("scroll needs a number of rows");
          continue;
        }
        app.scroll(name, static_cast<int>(rows));
      } else if (cmd == "escape") {
        mox::Form* window = name.empty() || name == app.mainForm().window().name ? &app.mainForm()
                            : name == app.plannerForm().window().name           ? &app.plannerForm()
                                                                                : nullptr;
        if (!window) {
          fail("no window named " + name);
          continue;
        }
        // Esc that closes the main window ends the session, as it ends the program.
        if (app.escape(*window)) break;
      } else if (cmd == "wait") {
        app.settle();
      } else if (cmd == "tick") {
        long long n = 1;
        if (!name.empty() && (!parseInt(name, n) || n < 0)) {
          fail("tick takes a count");
          continue;
        }
        app.tickTimers(static_cast<int>(n));
      } else if (cmd == "clock") {
        long long ms;
        if (!parseInt(name, ms) || ms < 0 || ms > 0xFFFFFFFFll) {
          fail("clock takes milliseconds");
          continue;
        }
        platform.setTicks(static_cast<uint32_t>(ms));
      } else if (cmd == "caption" || cmd == "tag" || cmd == "shown" || cmd == "enabled" || cmd == "checked" ||
                 cmd == "selected" || cmd == "colour" || cmd == "picture") {
        const mox::Control* c = control();
        if (!c) continue;
        mox::Form& form = *app.formOf(name);
        int index = form.indexOf(name);
        if (cmd == "caption") std::cout << c->caption;
        else if (cmd == "tag") std::cout << c->tag;
        else if (cmd == "shown") std::cout << (form.shown(index) ? 1 : 0);
        else if (cmd == "enabled") std::cout << (c->disabled ? 0 : 1);
        else if (cmd == "checked") std::cout << (c->checked ? 1 : 0);
        else if (cmd == "selected") std::cout << c->selection;
        else if (cmd == "colour") std::cout << hexColour(c->textColour);
        else std::cout << (c->picture.empty() ? "-" : c->picture);
        std::cout << "\n";
      } else if (cmd == "rows") {
        const mox::Control* c = control();
        if (!c) continue;
        for (const mox::ListItem& item : c->items) std::cout << item.text << "\n";
        std::cout << "-\n";
      } else if (cmd == "history") {
        std::cout << mox::History::csvHeader() << "\n";
        for (const mox::HistoryEntry& e : app.history().entries()) std::cout << mox::History::csvLine(e) << "\n";
      } else if (cmd == "stock") {
        std::cout << numbers(state.itemCount) << "\n";
      } else if (cmd == "used") {
        std::cout << numbers(state.usedCount) << "\n";
      } else if (cmd == "money") {
        std::cout << state.qCoinBalance << " " << state.rechargeTotal << " " << state.spendTotal << "\n";
      } else if (cmd == "rates") {
        std::cout << state.enhanceRate << " " << state.synthesisRate << " " << state.synthesisLevel << "\n";
      } else if (cmd == "sounds") {
        std::cout << join(platform.takeSounds(), " ") << "\n";
      } else if (cmd == "banners") {
        std::cout << join(app.takeBanners(), " ") << "\n";
      } else if (cmd == "boxes") {
        std::cout << join(platform.takeBoxes(), " | ") << "\n";
      } else {
        fail("unknown command " + cmd);
      }
      std::cout.flush();
    }
  } catch (const mox::FatalExit& e) {
    std::cout.flush();
    std::fprintf(stderr, "%s", e.what());
    return 255;
  }
  return exitCode;
}
