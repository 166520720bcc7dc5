#pragma once
// A regular-expression object over PCRE2 for GBK texts.
//
// Subject and pattern are matched as UTF-8 in UTF mode, so "." and the classes
// consume whole Chinese characters; texts come back as GBK and positions as
// 0-based GBK byte offsets. Match and group numbers are 1-based. Every failure
// (rejected pattern, index out of range) yields the neutral value: false, 0 or
// the empty text; a search that hits the match limit keeps the matches found
// before it.

#include <memory>
#include <string_view>

#include "text/text.h"

namespace morvane {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  // A copy shares the compiled pattern and the matches and copies the subject.
  RegexObject(const RegexObject& other);
  RegexObject& operator=(const RegexObject& other);
  RegexObject(RegexObject&&) noexcept;
  RegexObject& operator=(RegexObject&&) noexcept;

  // True when the search produced a match collection (which may be empty);
  // false for a pattern the engine rejects.
  bool Search(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool convertQuoteMarker = false);
  Text GetPattern() const;
  Text Replace(std::string_view replacement = {}) const;
  int MatchCount() const;
  Text MatchText(int matchIndex, Position* position = nullptr) const;
  Text SubMatchText(int matchIndex, int subIndex, Position* position = nullptr) const;
  int SubMatchCount() const;

 private:
  // Group 0 is the whole match; -1 or a number out of range reads nothing.
  Text GroupText(int matchIndex, int group, Position* position) const;

  struct Compiled;
  struct Matches;
  std::shared_ptr<const Compiled> compiled_;
  std::shared_ptr<const Matches> matches_;
  Text subject_;
};

}  // namespace morvane
