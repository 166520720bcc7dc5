// URL splitting over arbitrary text.
#include <cstdlib>
#include <string>

#include "http/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  const std::string url(reinterpret_cast<const char*>(data), size);
  const Text host = UrlHost(url);
  const Text hostWithPort = UrlHost(url, true);
  if (hostWithPort.compare(0, host.size(), host) != 0) std::abort();
  (void)UrlPort(url);
  const Text path = UrlPath(url);
  if (path.empty() || path[0] != '/') std::abort();
  return 0;
}
