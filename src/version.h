#pragma once

#include <string_view>

namespace morvane {

// The program's version as the window's version box shows it.
inline constexpr std::string_view kVersion = "1.0";

}  // namespace morvane
