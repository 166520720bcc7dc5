#include "app/process_exit.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace morvane {

ProcessState& TheProcessState() {
  static ProcessState state;
  return state;
}

void OnProcessExit() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  ProcessState& state = TheProcessState();
  state.lanzouHandler.Release();
  state.baiduResolver.reset();
}

void EndProcess(int exitCode) {
  OnProcessExit();
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace morvane
