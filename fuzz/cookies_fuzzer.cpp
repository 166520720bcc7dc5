// Cookie merging and the Set-Cookie rule over arbitrary header blocks.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "http/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  FuzzedDataProvider provider(data, size);
  Text cookies = provider.ConsumeRandomLengthString(256);
  const Text block = provider.ConsumeRemainingBytesAsString();

  Text received = CookiesFromHeaderBlock(NormalizeSetCookieNames(block));
  const Text merged = MergeCookies(cookies, received);
  // The merged text is also left in the caller's variable.
  if (merged != cookies) std::abort();
  return 0;
}
