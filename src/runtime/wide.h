#pragma once
// UTF-8 and the wide (UTF-16) texts of the Windows API, converted by the system's own functions. Windows only.
#include <string>
#include <string_view>

namespace mox {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

}  // namespace mox
