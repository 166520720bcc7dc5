#pragma once
// Chengtong netdisk: share address -> direct download address.

#include <string_view>

#include "resolvers/settings.h"
#include "resolvers/window_operations.h"
#include "text/text.h"

namespace morvane {

// The download address, or the empty text when none was found.
Text ResolveChengtongLink(std::string_view shareUrl, const Settings& settings);
// Click handler of the Chengtong "解析" button: read the box, resolve, write the box.
void OnResolveChengtong(WindowOperations& window, const Settings& settings);

}  // namespace morvane
