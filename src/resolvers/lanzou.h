#pragma once
// Lanzou cloud: share address -> direct download address, one thread per click.

#include <memory>
#include <mutex>
#include <string_view>

#include "resolvers/settings.h"
#include "resolvers/window_operations.h"
#include "text/text.h"

namespace morvane {

// Resolves and delivers the result itself: writes the result box, or shows
// "解析失败" when the share page has no frame (then the box is left alone).
void ResolveLanzouLink(std::string_view shareUrl, WindowOperations& window,
                       const Settings& settings);

// The body of the thread a click starts; owns its copy of the address.
void LanzouWorker(Text address, std::shared_ptr<WindowOperations> window, Settings settings);

// Holds lanzouAddress, the address of the last click, for the life of the
// process, and starts one detached thread per click.
class LanzouClickHandler {
 public:
  // Reads the address box, stores it as the last address and starts a
  // detached worker with its own copy. Returns at once.
  void OnResolveLanzou(std::shared_ptr<WindowOperations> window, const Settings& settings);
  Text lanzouAddress() const;
  // Releases the last address (the exit routine).
  void Release();

 private:
  mutable std::mutex mutex_;
  Text lanzouAddress_;
};

}  // namespace morvane
