#pragma once
// The script driver's language: one command per line, parsed into a command and its words, and run against a
// started program on the headless platform.
//
//   events:  click NAME | press NAME | move NAME | select NAME INDEX | scroll NAME ROWS | tick [N] | clock MS |
//            escape [WINDOW: 主窗口 (default) or 规划窗口] | wait
//   queries: caption NAME | tag NAME | shown NAME | enabled NAME | checked NAME | selected NAME | colour NAME |
//            picture NAME | rows NAME | top NAME | stock | used | money | rates | sounds | banners | boxes | clipboard
//            | history
//   quit
// Controls of every window are named alike (the names are unique across the windows). `wait` lets figuring
// under way finish and shows its results; `history` prints the record of attempts as its CSV export holds it; `top`
// the first row a list shows.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/headless_platform.h"
#include "ui/app.h"

namespace mox::script {

struct Line {
  std::string command, name, argument;
};

// The words of one line; nothing for a blank line or a comment (first word starting with #). A trailing CR is
// ignored.
std::optional<Line> parseLine(std::string_view text);

// A whole number written in decimal and nothing else.
std::optional<long long> parseInteger(const std::string& s);

class Driver {
 public:
  Driver(App& app, HeadlessPlatform& platform, std::ostream& out, std::ostream& err)
      : app_(app), platform_(platform), out_(out), err_(err) {}

  // Runs one parsed line. False when the line ends the script (quit). A line that names an unknown command or
  // control, or gives a bad argument, is reported on `err` with its number and makes exitCode() 1.
  bool run(const Line& line, long lineNumber);
  int exitCode() const { return exitCode_; }

 private:
  void fail(long lineNumber, const std::string& why);

  App& app_;
  HeadlessPlatform& platform_;
  std::ostream& out_;
  std::ostream& err_;
  int exitCode_ = 0;
};

// Starts the program on `platform` and runs every line of `in`. Returns the exit code: 0, 1 after a refused line,
// 255 after a fatal error (whose message goes to `err`).
int runScript(HeadlessPlatform& platform, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace mox::script
