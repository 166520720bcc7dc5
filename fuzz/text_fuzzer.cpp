// The text primitives over arbitrary bytes, invalid GBK included. Besides
// "no crash", checks the invariants every caller relies on: results lie in
// range and matches start on character boundaries.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/text.h"

namespace {

// True when a match may start at the 1-based position: tracking characters
// forward from the first byte lands on it.
bool IsCharacterStart(const std::string& text, long long position) {
  std::size_t index = 0;
  while (index + 1 < static_cast<std::size_t>(position)) {
    index += static_cast<unsigned char>(text[index]) >= 0x80 ? 2 : 1;
  }
  return index + 1 == static_cast<std::size_t>(position);
}

#define Check(condition)                                          \
  do {                                                            \
    if (!(condition)) {                                           \
      std::fprintf(stderr, "invariant broken: %s\n", #condition); \
      std::abort();                                               \
    }                                                             \
  } while (false)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  FuzzedDataProvider provider(data, size);
  const std::string sub = provider.ConsumeRandomLengthString(8);
  const std::string other = provider.ConsumeRandomLengthString(8);
  const long long start = provider.ConsumeIntegralInRange<long long>(-2, 64);
  const bool ignoreCase = provider.ConsumeBool();
  const std::string text = provider.ConsumeRemainingBytesAsString();

  const Position found = FindText(text, sub, start, ignoreCase);
  Check(found == -1 || (found >= 1 && static_cast<std::size_t>(found) <= text.size()));
  // The skipped bytes are not scanned: characters are tracked from the
  // first byte that is searched.
  const long long skipped = start > 1 ? start - 1 : 0;
  // An empty sub is found at 1, whatever the start position.
  if (found > 0 && !sub.empty()) Check(found > skipped);
  if (found > 0 && !sub.empty()) Check(IsCharacterStart(text.substr(skipped), found - skipped));
  const Position last = FindTextFromEnd(text, sub, ignoreCase);
  Check(last == -1 || (last >= 1 && IsCharacterStart(text, last)));
  if (!sub.empty()) Check((found == -1) == (last == -1) || start > 1);

  const Text between = TextBetween(text, sub, other, start, ignoreCase);
  Check(between.size() <= text.size());
  const TextList pieces = SplitText(text, sub);
  std::size_t total = 0;
  for (const auto& piece : pieces) total += piece.size();
  Check(total <= text.size());
  const Text replaced = ReplaceText(text, sub, other, ignoreCase);
  if (sub.empty()) Check(replaced == text);
  Check(TrimBlanks(text).size() <= text.size());
  Check(RemoveBlanks(text).size() <= text.size());
  Check(LowerCase(text).size() == text.size());
  (void)HeaderLineName(text);
  (void)HeaderLineValue(text);
  (void)TextToInteger(text);
  (void)MidBytes(text, start, static_cast<Position>(sub.size()) - 2);
  return 0;
}
