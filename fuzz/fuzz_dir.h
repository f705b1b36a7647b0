#pragma once
// A private data directory for one fuzzing process, under MOX_FUZZ_DIR (bench/fuzz.sh makes one and removes it
// afterwards: libFuzzer may end a process without running its exit handlers), else in memory where the machine
// has /dev/shm so that the saves a run makes cost no disk flushes.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace moxfuzz {

inline const std::filesystem::path& dataDir() {
  static const std::filesystem::path dir = [] {
    std::error_code ec;
    const char* given = std::getenv("MOX_FUZZ_DIR");
    const std::filesystem::path base = given && *given ? std::filesystem::path(given)
                                       : std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const std::filesystem::path d = base / ("moxsim-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(dataDir(), ignored);
    });
    return d;
  }();
  return dir;
}

}  // namespace moxfuzz
