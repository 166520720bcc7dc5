#include "script/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "text/charset.h"

namespace morvane {
namespace {

// "#引号" in GBK: callers write a double quote inside a pattern this way.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

// A hostile page must not keep a search busy for long. Legitimate searches
// need about one step per byte that a lazy "[\s\S]*?" spans, so ten million
// steps cover gaps of megabytes; "(a+)+$" over forty letters hits the limit
// in milliseconds. The limits hold for each match of the search loop, and
// hitting one ends the loop: the matches found before it stay, and Search
// still reports a collection.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 1'000'000;
constexpr PCRE2_SIZE kHeapLimitKiB = 64 * 1024;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 16 * 1024 * 1024;

// The match context carries the limits and the JIT stack. A JIT stack must
// not be used by two threads at once, so every thread has its own.
class ThreadMatchContext {
 public:
  ThreadMatchContext()
      : context_(pcre2_match_context_create(nullptr)),
        jitStack_(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)) {
    if (context_ == nullptr) return;
    pcre2_set_match_limit(context_, kMatchLimit);
    pcre2_set_depth_limit(context_, kDepthLimit);
    pcre2_set_heap_limit(context_, kHeapLimitKiB);
    // Without a stack of its own JIT code gets 32 KiB of machine stack.
    if (jitStack_ != nullptr) pcre2_jit_stack_assign(context_, nullptr, jitStack_);
  }
  ~ThreadMatchContext() {
    pcre2_jit_stack_free(jitStack_);
    pcre2_match_context_free(context_);
  }
  ThreadMatchContext(const ThreadMatchContext&) = delete;
  ThreadMatchContext& operator=(const ThreadMatchContext&) = delete;

  pcre2_match_context* get() const { return context_; }

 private:
  pcre2_match_context* context_;
  pcre2_jit_stack* jitStack_;
};

// Only read while compiling, so one context serves every thread.
pcre2_compile_context* CompileContext() {
  static pcre2_compile_context* const context = [] {
    pcre2_compile_context* created = pcre2_compile_context_create(nullptr);
    if (created != nullptr) pcre2_set_newline(created, PCRE2_NEWLINE_ANYCRLF);
    return created;
  }();
  return context;
}

pcre2_match_context* MatchContext() {
  thread_local ThreadMatchContext context;
  return context.get();
}

// UTF-16 code units of UTF-8 text: every lead byte is one unit, a four-byte
// sequence two.
std::size_t Utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

// Length of the UTF-8 character that starts at `offset` (1 at the end).
std::size_t CharLength(std::string_view utf8, std::size_t offset) {
  std::size_t length = 1;
  while (offset + length < utf8.size() &&
         (static_cast<unsigned char>(utf8[offset + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// For every UTF-16 unit of a GBK text, the offset of the byte sequence it
// came from. The converter is set up as the charset module's, so the units
// are those the subject was matched as.
std::vector<std::int32_t> GbkOffsetsOfUnits(std::string_view gbk) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-936-2000", &status);
  if (U_FAILURE(status)) return {};
  ucnv_setSubstChars(converter, "?", 1, &status);
  ucnv_setFallback(converter, true);
  // Every byte yields at most one unit.
  std::vector<UChar> units(gbk.size() + 1);
  std::vector<std::int32_t> offsets(gbk.size() + 1);
  UChar* target = units.data();
  const char* source = gbk.data();
  ucnv_toUnicode(converter, &target, units.data() + units.size(), &source, gbk.data() + gbk.size(),
                 offsets.data(), true, &status);
  ucnv_close(converter);
  if (U_FAILURE(status)) return {};
  offsets.resize(static_cast<std::size_t>(target - units.data()));
  return offsets;
}

}  // namespace

struct RegexObject::Compiled {
  ~Compiled() { pcre2_code_free(code); }

  Text pattern;                // GBK, after the quote-marker conversion
  pcre2_code* code = nullptr;  // null when PCRE2 rejected the pattern
  bool global = true;
  std::uint32_t groupCount = 0;  // capturing groups of the pattern
};

// The subject in UTF-8 with the offsets of every match; group texts are
// converted back to GBK only when read.
struct RegexObject::Matches {
  std::size_t Count() const { return offsets.size() / (2 * (groupCount + 1)); }
  // Offsets of group `group` (0 = whole match) of match `match`, 0-based.
  std::pair<PCRE2_SIZE, PCRE2_SIZE> Group(std::size_t match, std::size_t group) const {
    const std::size_t at = (match * (groupCount + 1) + group) * 2;
    return {offsets[at], offsets[at + 1]};
  }
  // The UTF-8 text of a group; empty for a group that took no part.
  std::string_view GroupText(std::size_t match, std::size_t group) const {
    const auto [begin, end] = Group(match, group);
    if (begin == PCRE2_UNSET || end == PCRE2_UNSET || end < begin) return {};
    return std::string_view(subject).substr(begin, end - begin);
  }

  // The 0-based byte offset in the GBK subject of the character at
  // `utf8Offset`. Positions are rarely asked for, so nothing of this is
  // prepared by the search itself.
  Position GbkOffset(std::string_view gbkSubject, std::size_t utf8Offset) const {
    const std::size_t units = Utf16Units(std::string_view(subject).substr(0, utf8Offset));
    std::call_once(gbkOffsetsOnce, [&] { gbkOffsets = GbkOffsetsOfUnits(gbkSubject); });
    return units < gbkOffsets.size() ? gbkOffsets[units] : static_cast<Position>(gbkSubject.size());
  }

  std::string subject;
  std::uint32_t groupCount = 0;
  std::vector<PCRE2_SIZE> offsets;  // (groupCount + 1) pairs per match
  // Made when a position is first asked for; most searches never ask.
  mutable std::once_flag gbkOffsetsOnce;
  mutable std::vector<std::int32_t> gbkOffsets;
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&&) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&&) noexcept = default;

bool RegexObject::Search(std::string_view pattern, std::string_view subject, bool caseSensitive,
                         bool multiline, bool global, bool convertQuoteMarker) {
  compiled_.reset();
  matches_.reset();
  subject_ = Text(subject);

  auto compiled = std::make_shared<Compiled>();
  compiled->pattern = convertQuoteMarker ? ReplaceText(pattern, kQuoteMarker, "\"") : Text(pattern);
  compiled->global = global;

  // UTF mode so that "." and classes take whole Chinese characters; no UCP,
  // so \w, \d and \s stay ASCII as in the original dialect (with UCP the
  // charset pattern would swallow Chinese text after the name). "." stops at
  // CR as well as LF. \uhhhh is read as in the original dialect. ICU's output
  // is valid UTF-8, so PCRE2 need not check it.
  const std::string utf8Pattern = GbkToUtf8(compiled->pattern);
  std::uint32_t options = PCRE2_UTF | PCRE2_NO_UTF_CHECK | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY |
                          PCRE2_NEVER_BACKSLASH_C;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  compiled->code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data()), utf8Pattern.size(), options,
                    &errorCode, &errorOffset, CompileContext());
  compiled_ = compiled;
  if (compiled->code == nullptr) return false;
  // Without JIT (not built for this machine) the interpreter does the same.
  pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);
  pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &compiled->groupCount);

  auto matches = std::make_shared<Matches>();
  matches->subject = GbkToUtf8(subject);
  matches->groupCount = compiled->groupCount;
  pcre2_match_data* matchData = pcre2_match_data_create_from_pattern(compiled->code, nullptr);
  if (matchData == nullptr) return false;
  const std::string_view text = matches->subject;
  const auto* textData = reinterpret_cast<PCRE2_SPTR>(text.data());
  std::size_t start = 0;
  while (start <= text.size()) {
    const int rc = pcre2_match(compiled->code, textData, text.size(), start, PCRE2_NO_UTF_CHECK,
                               matchData, MatchContext());
    // No match, or a limit hit: the collection holds what was found so far.
    if (rc < 0) break;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData);
    const std::size_t pairs = pcre2_get_ovector_count(matchData);
    for (std::size_t group = 0; group <= compiled->groupCount; ++group) {
      const bool set = group < pairs && group < static_cast<std::size_t>(rc);
      matches->offsets.push_back(set ? ovector[2 * group] : PCRE2_UNSET);
      matches->offsets.push_back(set ? ovector[2 * group + 1] : PCRE2_UNSET);
    }
    if (!global) break;
    // After an empty match the next search starts one character further on,
    // so the loop always moves forward and finds each empty match once.
    const std::size_t matchEnd = std::max<std::size_t>(ovector[1], ovector[0]);
    if (matchEnd > ovector[0]) {
      start = matchEnd;
    } else if (matchEnd < text.size()) {
      start = matchEnd + CharLength(text, matchEnd);
    } else {
      break;
    }
  }
  pcre2_match_data_free(matchData);
  matches_ = std::move(matches);
  return true;
}

Text RegexObject::GetPattern() const { return compiled_ ? compiled_->pattern : Text(); }

Text RegexObject::Replace(std::string_view replacement) const {
  if (!compiled_ || !matches_) return {};
  const Matches& matches = *matches_;
  const std::string utf8Replacement = GbkToUtf8(replacement);
  const std::string_view subject = matches.subject;
  std::string result;
  result.reserve(subject.size());
  std::size_t copied = 0;
  for (std::size_t match = 0; match < matches.Count(); ++match) {
    const auto [begin, end] = matches.Group(match, 0);
    if (begin < copied || begin > subject.size()) continue;
    result.append(subject.substr(copied, begin - copied));
    // The original engine's notation: $1 to $9 name a group of the pattern,
    // $& the whole match and $$ a dollar sign; anything else is plain text.
    for (std::size_t i = 0; i < utf8Replacement.size(); ++i) {
      const char c = utf8Replacement[i];
      const char next = i + 1 < utf8Replacement.size() ? utf8Replacement[i + 1] : '\0';
      if (c == '$' && next == '&') {
        result.append(matches.GroupText(match, 0));
        ++i;
      } else if (c == '$' && next == '$') {
        result += '$';
        ++i;
      } else if (c == '$' && next >= '1' && next <= '9' &&
                 static_cast<std::uint32_t>(next - '0') <= matches.groupCount) {
        result.append(matches.GroupText(match, static_cast<std::size_t>(next - '0')));
        ++i;
      } else {
        result += c;
      }
    }
    copied = std::max<std::size_t>(end, begin);
  }
  result.append(subject.substr(std::min(copied, subject.size())));
  return Utf8ToGbk(std::string_view(result));
}

int RegexObject::MatchCount() const { return matches_ ? static_cast<int>(matches_->Count()) : 0; }

Text RegexObject::MatchText(int matchIndex, Position* position) const {
  return GroupText(matchIndex, 0, position);
}

Text RegexObject::SubMatchText(int matchIndex, int subIndex, Position* position) const {
  // Group 0 is the whole match, which is not one of the groups.
  return GroupText(matchIndex, subIndex >= 1 ? subIndex : -1, position);
}

Text RegexObject::GroupText(int matchIndex, int group, Position* position) const {
  // -2 is what the original gave for a text it could not find; it stands for
  // a match or group that is not there.
  if (position != nullptr) *position = -2;
  if (!matches_ || matchIndex < 1 || static_cast<std::size_t>(matchIndex) > matches_->Count() ||
      group < 0 || static_cast<std::uint32_t>(group) > matches_->groupCount) {
    return {};
  }
  const auto match = static_cast<std::size_t>(matchIndex - 1);
  const auto index = static_cast<std::size_t>(group);
  const PCRE2_SIZE begin = matches_->Group(match, index).first;
  if (begin == PCRE2_UNSET) return {};
  // The original looked the text up in the GBK subject from the match's
  // UTF-16 offset used as a byte position; that search could start inside a
  // two-byte character and miss, or find an earlier copy of the text. The
  // offset of the text itself is what a caller asks for.
  if (position != nullptr) *position = matches_->GbkOffset(subject_, begin);
  return Utf8ToGbk(matches_->GroupText(match, index));
}

int RegexObject::SubMatchCount() const {
  if (!matches_ || matches_->Count() == 0) return 0;
  return static_cast<int>(matches_->groupCount);
}

}  // namespace morvane
