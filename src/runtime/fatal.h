#pragma once
// Conditions the logic never reaches on purpose (a remainder by zero, a tag that cannot be found, an index out of
// range) end the program through one path: a message box with the error, then exit code -1.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mox {

// Builds the fatal message box text: the heading, the optional error code and the error text.
std::string fatalMessage(std::string_view errorText, std::optional<int> errorCode = std::nullopt);

// Receives the built message; it must not return (the platform shows the box and ends the process, the
// test platform throws).
using FatalHandler = std::function<void(const std::string& message)>;
void setFatalHandler(FatalHandler handler);

[[noreturn]] void fatalError(std::string_view errorText, std::optional<int> errorCode = std::nullopt);

// Checked 1-based access to the logic's fixed-size arrays.
template <typename Array>
auto& at1(Array& array, long index) {
  if (index < 1 || index > static_cast<long>(std::size(array))) fatalError("数组成员引用超出范围");
  return array[static_cast<size_t>(index - 1)];
}

}  // namespace mox
