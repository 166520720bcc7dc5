#pragma once
// The state that lives for the whole process and the routine that releases it.

#include <memory>

#include "resolvers/baidu.h"
#include "resolvers/lanzou.h"
#include "resolvers/settings.h"

namespace morvane {

struct ProcessState {
  Settings settings;
  std::unique_ptr<BaiduResolver> baiduResolver;
  LanzouClickHandler lanzouHandler;  // holds lanzouAddress
};

ProcessState& TheProcessState();

// Releases the last Lanzou address, then destroys the Baidu resolver. Runs its
// steps once, however often and from wherever it is called.
void OnProcessExit();

// Runs OnProcessExit and ends the process at once with exitCode. Lanzou
// threads are never waited for: ending here, before any global is destroyed,
// leaves them nothing destroyed to touch.
[[noreturn]] void EndProcess(int exitCode);

}  // namespace morvane
