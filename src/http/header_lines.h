#pragma once
// Small pieces the fetchers share when they turn their header text into the
// lines an exchange sends.

#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace morvane {

// The text up to its first CR or LF: a cookie text or header value taken from
// a response never adds a header line of its own.
std::string_view CutAtLineBreak(std::string_view text);

// Sets "name: value" in lines. A name already present (in any letter case)
// keeps its place and takes the new value.
void SetHeaderLine(std::vector<std::string>& lines, std::string_view name, std::string_view value);

ByteView BytesOf(std::string_view text);

}  // namespace morvane
