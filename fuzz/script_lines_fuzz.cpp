// Arbitrary text as a script for the script driver: every line is parsed and run against a started program on a
// directory of its own. No input may crash it or reach the fatal-error path; a line the driver refuses is
// reported and never executed.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "fuzz_dir.h"
#include "script/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path& dir = moxfuzz::dataDir();
  std::error_code ec;
  std::filesystem::remove(dir / "MOXdata", ec);  // each input starts from a fresh program
  mox::HeadlessPlatform platform(dir);
  mox::App app(platform);
  app.start();
  std::ostringstream out, err;
  mox::script::Driver driver(app, platform, out, err);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  long number = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::optional<mox::script::Line> line = mox::script::parseLine(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++number;
    if (!line) continue;
    // A long run of ticks is slow, not wrong: each input stays quick.
    if (line->command == "tick" && mox::script::parseInteger(line->name).value_or(0) > 100) continue;
    try {
      if (!driver.run(*line, number)) break;
    } catch (const mox::FatalExit& e) {
      std::fprintf(stderr, "fatal error after line %ld: %s\n", number, e.what());
      std::abort();
    }
  }
  return 0;
}
