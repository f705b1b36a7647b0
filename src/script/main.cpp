// moxsim-script: the program's behaviour as seen from outside. Runs start-up with a directory as the program's
// directory, reads one command per line (script/script.h) and prints one line per query.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "runtime/headless_platform.h"
#include "script/script.h"

int main(int argc, char** argv) {
  std::filesystem::path dir = argc > 1 ? argv[1] : ".";
  if (!std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "error: not a directory: %s\n", reinterpret_cast<const char*>(dir.u8string().c_str()));
    return 1;
  }
  mox::HeadlessPlatform platform(dir);
  return mox::script::runScript(platform, std::cin, std::cout, std::cerr);
}
