#include "runtime/headless_platform.h"

#include "runtime/data_file.h"

namespace mox {

int HeadlessPlatform::messageBox(const std::string& text, int, const std::string&) {
  boxes_.push_back(text);
  return kBoxOk;
}

void HeadlessPlatform::fatal(const std::string& message) {
  boxes_.push_back(message);
  throw FatalExit(message);
}

bool HeadlessPlatform::fileExists(const std::string& name) { return dataFileExists(dir_, name); }

std::optional<std::string> HeadlessPlatform::readFile(const std::string& name, size_t limit) {
  return readDataFile(dir_ / name, limit);
}

bool HeadlessPlatform::replaceFile(const std::string& name, std::string_view bytes) {
  return replaceDataFile(dir_ / name, bytes);
}

void HeadlessPlatform::playSound(std::string_view role, const WaveFormat&, std::span<const unsigned char>) {
  sounds_.emplace_back(role);
}

}  // namespace mox
