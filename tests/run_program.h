#pragma once
// Runs one of the build's own programs as a user runs it from a shell: arguments, standard input from a file,
// standard output and error together, and the exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace moxtest {

struct Run {
  int code = -1;
  std::string out;
};

// A path as one shell argument, for sh and cmd.exe alike.
inline std::string quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

inline Run runProgram(const std::string& program, const std::string& args, const std::string& input = "") {
  // ctest runs each test in a process of its own, several at once: the name is drawn, not counted.
  static std::mt19937_64 draw{std::random_device{}()};
  const auto in = std::filesystem::temp_directory_path() / ("moxtest-input-" + std::to_string(draw()));
  std::ofstream(in, std::ios::binary) << input;
#ifdef _WIN32
  // ctest runs the tests in the build folder, where the programs are; cmd.exe wants the whole line quoted again.
  const std::string cmd = "\"" + program + ".exe " + args + " < \"" + in.string() + "\" 2>&1\"";
  FILE* f = ::_popen(cmd.c_str(), "r");
#else
  const std::string cmd = std::string(MOX_BINARY_DIR) + "/" + program + " " + args + " < '" + in.string() + "' 2>&1";
  FILE* f = ::popen(cmd.c_str(), "r");
#endif
  Run run;
  char buffer[512];
  while (f && std::fgets(buffer, sizeof buffer, f)) run.out += buffer;
#ifdef _WIN32
  run.code = f ? ::_pclose(f) : -1;
  // Text mode gives "\r\n" line ends.
  for (size_t at; (at = run.out.find("\r\n")) != std::string::npos;) run.out.erase(at, 1);
#else
  const int status = f ? ::pclose(f) : -1;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  std::filesystem::remove(in);
  return run;
}

}  // namespace moxtest
