#pragma once
// The stock as the save file "MOXdata" holds it: fifteen counts by item code, scrambled.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/platform.h"

namespace mox {

// The stock counts by item code of a save file's contents; nothing when the file is not one this program wrote.
std::optional<std::array<int32_t, 15>> savedStock(std::string_view scrambled, Platform& platform);

}  // namespace mox
