#include "http/pending_events.h"

#include <memory>
#include <mutex>

namespace morvane {
namespace {

std::mutex hookMutex;
std::shared_ptr<const std::function<void()>> installedHook;

}  // namespace

void SetPendingEventsHook(std::function<void()> hook) {
  auto next = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
  std::lock_guard lock(hookMutex);
  installedHook = std::move(next);
}

void ProcessPendingEvents() {
  std::shared_ptr<const std::function<void()>> hook;
  {
    std::lock_guard lock(hookMutex);
    hook = installedHook;
  }
  if (hook) (*hook)();
}

}  // namespace morvane
