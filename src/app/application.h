#pragma once
// Start-up and the message loop of the window program.

namespace morvane {

// Lets a fetch on the window's thread serve the window's pending events while
// it waits; calls from other threads do nothing.
void InstallPendingEventsHook();

// The whole program: options, process state, window, update check, message
// loop. Does not return; the process ends with the loop's exit code.
[[noreturn]] void RunApplication(int argc, char** argv);

}  // namespace morvane
