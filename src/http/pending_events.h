#pragma once
// A process-wide hook that lets a window toolkit serve its pending events from
// inside a long fetch. By default it does nothing; the window installs one.

#include <functional>

namespace morvane {

// Installs the hook (an empty function removes it). Install it before any
// fetch runs; the hook itself must be safe to call from the fetching thread.
void SetPendingEventsHook(std::function<void()> hook);
// Runs the installed hook, if any.
void ProcessPendingEvents();

}  // namespace morvane
