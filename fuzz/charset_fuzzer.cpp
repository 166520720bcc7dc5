// The charset conversions over arbitrary bytes and charset names.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "text/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  FuzzedDataProvider provider(data, size);
  const std::string charset = provider.ConsumeRandomLengthString(24);
  const std::string bytes = provider.ConsumeRemainingBytesAsString();

  const Text gbk = Utf8ToGbk(bytes);
  // GBK text made by the converter survives a round trip through UTF-8.
  if (Utf8ToGbk(GbkToUtf8(gbk)) != gbk) std::abort();
  (void)GbkToUtf8(bytes);
  (void)Utf16ToGbk(GbkToUtf16(bytes));
  (void)DecodeToGbk(ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                    charset);
  (void)Base64Encode(bytes);
  return 0;
}
