// The system's five patterns over arbitrary subjects, reading every group
// and position the way callers do.
#include <cstdlib>
#include <string>

#include "script/regex_object.h"

namespace {

// The frame pattern holds double quotes of its own.
const char* const kPatterns[] = {
    R"re((http[s]*\://.*?)/)re",
    R"re(abuse\?uid\=(.*?)&[\s\S]*?free\_down\('(.*?)',\s0,\s'(.*?)')re",
    R"re(ifr2"\sname="[\s\S]*?"\ssrc="\/(.*?)")re",
    R"re(=\s'(.*?)';[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)')re",
    R"re(<meta.+?charset=[^\w]?([-\w]+))re",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  if (size == 0) return 0;
  const std::string subject(reinterpret_cast<const char*>(data) + 1, size - 1);
  RegexObject regex;
  regex.Search(kPatterns[data[0] % 5], subject);
  const int count = regex.MatchCount();
  for (int match = 0; match <= count + 1 && match < 4; ++match) {
    Position position = 0;
    const Text text = regex.MatchText(match, &position);
    if (!text.empty() && (position < 0 || static_cast<size_t>(position) >= subject.size())) {
      std::abort();
    }
    for (int group = 0; group <= regex.SubMatchCount() + 1; ++group) {
      (void)regex.SubMatchText(match, group, &position);
    }
  }
  (void)regex.Replace("$1");
  return 0;
}
