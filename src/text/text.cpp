#include "text/text.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvane {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Callers write a double quote inside a marker as "#引号": these five GBK bytes
// ("#", then the two bytes each of 引 and 号).
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

unsigned char ByteAt(std::string_view text, std::size_t index) {
  return static_cast<unsigned char>(text[index]);
}

// Any byte of 0x80 or above opens a two-byte character, and the byte after it
// is its trail byte even when the pair is not valid GBK.
bool IsLeadByte(unsigned char byte) { return byte >= 0x80; }

bool IsAsciiLetter(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

unsigned char AsciiLower(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// Length of the character that starts at index: a lead byte at the very end
// stands alone.
std::size_t CharacterLength(std::string_view text, std::size_t index) {
  return (IsLeadByte(ByteAt(text, index)) && index + 1 < text.size()) ? 2 : 1;
}

// Whether position starts a character, given that knownStart (<= position)
// does. A byte below 0x80 is either a character of its own or a trail byte, so
// the byte after it always starts a character; from there the bytes of 0x80 and
// above pair up. Only the run of such bytes just before position is read.
bool StartsCharacter(std::string_view text, std::size_t position, std::size_t knownStart) {
  std::size_t index = position;
  while (index > knownStart && IsLeadByte(ByteAt(text, index - 1))) --index;
  return (position - index) % 2 == 0;
}

bool IsFullWidthSpace(std::string_view text, std::size_t index) {
  return index + 1 < text.size() && ByteAt(text, index) == 0xA1 && ByteAt(text, index + 1) == 0xA1;
}

// The first position at or after from where the bytes of sub (two or more)
// occur, or kNone. Sixteen places are tested at once on their first and last
// byte; only places where both agree are compared in full. Unlike glibc's
// memmem this keeps pace with memchr on page text.
std::size_t FindBytes(std::string_view text, std::size_t from, std::string_view sub) {
  const std::size_t size = text.size();
  const std::size_t length = sub.size();
  if (from > size || size - from < length) return kNone;
  const char* data = text.data();
  if (length == 1) {
    const void* found = std::memchr(data + from, sub[0], size - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : kNone;
  }
  std::size_t position = from;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(sub.front());
  const __m128i last = _mm_set1_epi8(sub.back());
  // Each block tests the places position .. position + 15, whose last bytes
  // reach up to position + 15 + length - 1.
  while (size - position >= length + 15) {
    const __m128i firstBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + position));
    const __m128i lastBytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + position + length - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(firstBytes, first), _mm_cmpeq_epi8(lastBytes, last))));
    while (mask != 0) {
      const std::size_t place = position + static_cast<std::size_t>(__builtin_ctz(mask));
      if (length == 2 || std::memcmp(data + place + 1, sub.data() + 1, length - 2) == 0) {
        return place;
      }
      mask &= mask - 1;
    }
    position += 16;
  }
#endif
  const void* found = memmem(data + position, size - position, sub.data(), length);
  return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : kNone;
}

// Finds the places where sub matches text and a character starts. Candidates
// come from a byte search; each is then checked against the character
// boundaries, which are followed forward from the last place known to start a
// character, so a whole scan reads every byte of text a bounded number of times.
class CharacterSearch {
 public:
  CharacterSearch(std::string_view text, std::string_view sub, bool ignoreCase)
      : text_(text), sub_(sub) {
    if (!ignoreCase) return;
    // Fold only letters that are characters of their own in sub: a trail byte
    // that happens to be a letter belongs to a different two-byte character in
    // each case. A match compares lead bytes exactly, so the character
    // structure of the matched bytes follows that of sub.
    foldedSub_.assign(sub.begin(), sub.end());
    foldable_.assign(sub.size(), false);
    for (std::size_t index = 0; index < sub.size(); index += CharacterLength(sub, index)) {
      const unsigned char byte = ByteAt(sub, index);
      if (IsAsciiLetter(byte)) {
        foldable_[index] = true;
        foldedSub_[index] = static_cast<char>(AsciiLower(byte));
        ignoreCase_ = true;
      }
    }
    if (ignoreCase_ && foldable_[0]) {
      firstLower_ = static_cast<unsigned char>(foldedSub_[0]);
      firstUpper_ = static_cast<unsigned char>(firstLower_ - ('a' - 'A'));
    }
  }

  // The first match at or after from, which must start a character (the start
  // of the text, a start position, or the byte after an earlier match).
  std::size_t Next(std::size_t from) {
    std::size_t knownStart = from;
    while (true) {
      const std::size_t candidate = Candidate(from);
      if (candidate == kNone) return kNone;
      if (StartsCharacter(text_, candidate, knownStart)) return candidate;
      // The candidate is a trail byte, so the next byte starts a character.
      knownStart = from = candidate + 1;
    }
  }

 private:
  // The first position at or after from where the bytes of sub match,
  // regardless of character boundaries.
  std::size_t Candidate(std::size_t from) {
    const std::size_t size = text_.size();
    const std::size_t length = sub_.size();
    if (from > size || size - from < length) return kNone;
    if (!ignoreCase_) return FindBytes(text_, from, sub_);
    const std::size_t last = size - length;  // the last place a match fits
    for (std::size_t position = from; position <= last;) {
      const std::size_t first = FirstByteAt(position, last);
      if (first == kNone) return kNone;
      if (EqualsIgnoringCase(first)) return first;
      position = first + 1;
    }
    return kNone;
  }

  // The first position in [from, last] holding the first byte of sub in
  // either case. The next place of each case is remembered, so the text is
  // searched for each at most once over a whole scan.
  std::size_t FirstByteAt(std::size_t from, std::size_t last) {
    if (firstLower_ == 0) return FindByte(ByteAt(sub_, 0), from, last);
    if (lowerFrom_ == kNone || lowerFrom_ > from || (lowerAt_ != kNone && lowerAt_ < from)) {
      lowerAt_ = FindByte(firstLower_, from, last);
      lowerFrom_ = from;
    }
    if (upperFrom_ == kNone || upperFrom_ > from || (upperAt_ != kNone && upperAt_ < from)) {
      upperAt_ = FindByte(firstUpper_, from, last);
      upperFrom_ = from;
    }
    return std::min(lowerAt_, upperAt_);
  }

  std::size_t FindByte(unsigned char byte, std::size_t from, std::size_t last) const {
    const void* found = std::memchr(text_.data() + from, byte, last - from + 1);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) : kNone;
  }

  bool EqualsIgnoringCase(std::size_t position) const {
    for (std::size_t index = 0; index < sub_.size(); ++index) {
      unsigned char byte = ByteAt(text_, position + index);
      if (foldable_[index]) byte = AsciiLower(byte);
      if (byte != static_cast<unsigned char>(foldedSub_[index])) return false;
    }
    return true;
  }

  std::string_view text_;
  std::string_view sub_;
  bool ignoreCase_ = false;
  std::string foldedSub_;
  std::vector<bool> foldable_;
  unsigned char firstLower_ = 0;  // 0 when the first byte of sub has no case
  unsigned char firstUpper_ = 0;
  std::size_t lowerAt_ = kNone;
  std::size_t lowerFrom_ = kNone;
  std::size_t upperAt_ = kNone;
  std::size_t upperFrom_ = kNone;
};

// A marker with "#引号" in it, spelled with the double quote it stands for.
// Markers without it are used as they are, without a copy.
std::string_view ResolveQuoteMarker(std::string_view marker, Text& storage) {
  if (marker.find(kQuoteMarker) == std::string_view::npos) return marker;
  storage = ReplaceText(marker, kQuoteMarker, "\"");
  return storage;
}

}  // namespace

Text TextBetween(std::string_view text, std::string_view leftMarker, std::string_view rightMarker,
                 Position startPosition, bool ignoreCase) {
  Text leftStorage;
  Text rightStorage;
  const std::string_view left = ResolveQuoteMarker(leftMarker, leftStorage);
  const std::string_view right = ResolveQuoteMarker(rightMarker, rightStorage);
  const Position leftAt = FindText(text, left, startPosition, ignoreCase);
  if (leftAt == -1) return {};
  const Position begin = leftAt + static_cast<Position>(left.size());
  const Position rightAt = FindText(text, right, begin, ignoreCase);
  if (rightAt == -1) return {};
  return MidBytes(text, begin, rightAt - begin);
}

Text HeaderLineName(std::string_view text) {
  const Position colon = FindText(text, ":");
  if (colon == -1) return {};
  return TrimBlanks(text.substr(0, static_cast<std::size_t>(colon - 1)));
}

Text HeaderLineValue(std::string_view text) {
  const Position colon = FindText(text, ":");
  if (colon == -1) return {};
  return TrimBlanks(text.substr(static_cast<std::size_t>(colon)));
}

Position FindText(std::string_view text, std::string_view sub, Position startPosition,
                  bool ignoreCase) {
  const std::size_t skip = startPosition > 1 ? static_cast<std::size_t>(startPosition - 1) : 0;
  if (skip >= text.size()) return -1;
  // An empty sub is found at 1, not at the start position: callers of
  // TextBetween rely on an empty left marker meaning "from the first byte".
  if (sub.empty()) return 1;
  CharacterSearch search(text, sub, ignoreCase);
  const std::size_t found = search.Next(skip);
  return found == kNone ? -1 : static_cast<Position>(found) + 1;
}

Position FindTextFromEnd(std::string_view text, std::string_view sub, bool ignoreCase) {
  if (text.empty()) return -1;
  std::size_t last = kNone;
  if (sub.empty()) {
    // Every character start matches; the last one wins.
    for (std::size_t index = 0; index < text.size(); index += CharacterLength(text, index)) {
      last = index;
    }
    return static_cast<Position>(last) + 1;
  }
  // Matches may overlap, so the scan goes on from the character after each one.
  CharacterSearch search(text, sub, ignoreCase);
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t found = search.Next(from);
    if (found == kNone) break;
    last = found;
    from = found + CharacterLength(text, found);
  }
  return last == kNone ? -1 : static_cast<Position>(last) + 1;
}

Text TrimBlanks(std::string_view text) {
  const std::size_t size = text.size();
  std::size_t begin = 0;
  while (begin < size) {
    if (ByteAt(text, begin) == ' ') {
      begin += 1;
    } else if (IsFullWidthSpace(text, begin)) {
      begin += 2;
    } else {
      break;
    }
  }
  if (begin == size) return {};
  // Trailing blanks lie in the final run of 0x20 and 0xA1 bytes. Find where a
  // character starts in that run, then walk it forward to the end of its last
  // character that is not a blank.
  std::size_t runStart = size;
  while (runStart > begin &&
         (ByteAt(text, runStart - 1) == ' ' || ByteAt(text, runStart - 1) == 0xA1)) {
    --runStart;
  }
  std::size_t index = runStart;
  if (!StartsCharacter(text, index, begin)) ++index;
  std::size_t end = index;
  while (index < size) {
    const bool blank = ByteAt(text, index) == ' ' || IsFullWidthSpace(text, index);
    index += CharacterLength(text, index);
    if (!blank) end = index;
  }
  return Text(text.substr(begin, end - begin));
}

Text RemoveBlanks(std::string_view text) {
  Text result;
  result.reserve(text.size());
  std::size_t copied = 0;  // start of the bytes not yet copied
  for (std::size_t index = 0; index < text.size();) {
    const std::size_t length = CharacterLength(text, index);
    if (ByteAt(text, index) == ' ' || (length == 2 && IsFullWidthSpace(text, index))) {
      result.append(text, copied, index - copied);
      copied = index + length;
    }
    index += length;
  }
  result.append(text, copied);
  return result;
}

TextList SplitText(std::string_view text, std::string_view separator) {
  TextList pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  CharacterSearch search(text, separator, false);
  std::size_t pieceStart = 0;
  std::size_t found = search.Next(pieceStart);
  while (found != kNone) {
    pieces.emplace_back(text.substr(pieceStart, found - pieceStart));
    pieceStart = found + separator.size();
    found = search.Next(pieceStart);
  }
  // A separator at the very end leaves no empty last piece.
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

Text ReplaceText(std::string_view text, std::string_view sub, std::string_view replacement,
                 bool ignoreCase) {
  if (text.empty() || sub.empty()) return Text(text);
  CharacterSearch search(text, sub, ignoreCase);
  Text result;
  result.reserve(text.size());
  std::size_t copied = 0;
  std::size_t found = search.Next(copied);
  while (found != kNone) {
    result.append(text, copied, found - copied);
    result.append(replacement);
    copied = found + sub.size();
    found = search.Next(copied);
  }
  result.append(text, copied);
  return result;
}

Text LeftBytes(std::string_view text, Position count) {
  if (count <= 0) return {};
  return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text RightBytes(std::string_view text, Position count) {
  if (count <= 0) return {};
  if (static_cast<std::size_t>(count) >= text.size()) return Text(text);
  return Text(text.substr(text.size() - static_cast<std::size_t>(count)));
}

Text MidBytes(std::string_view text, Position position, Position count) {
  if (position < 1 || static_cast<std::size_t>(position) > text.size() || count <= 0) return {};
  return Text(text.substr(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(count)));
}

Text LowerCase(std::string_view text) {
  Text result(text);
  for (std::size_t index = 0; index < result.size();) {
    const unsigned char byte = ByteAt(result, index);
    if (IsLeadByte(byte)) {
      index += 2;  // the trail byte keeps its value
    } else {
      result[index] = static_cast<char>(AsciiLower(byte));
      index += 1;
    }
  }
  return result;
}

long long TextToInteger(std::string_view text) {
  std::size_t index = 0;
  while (index < text.size() &&
         (text[index] == ' ' || (text[index] >= '\t' && text[index] <= '\r'))) {
    ++index;
  }
  bool negative = false;
  if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
    negative = text[index] == '-';
    ++index;
  }
  // Accumulate the magnitude unsigned; a page can hold any number of digits,
  // so the value stops at the limit of the type instead of overflowing.
  const unsigned long long limit =
      negative ? static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + 1
               : static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  unsigned long long magnitude = 0;
  for (; index < text.size() && text[index] >= '0' && text[index] <= '9'; ++index) {
    const unsigned digit = static_cast<unsigned>(text[index] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return static_cast<long long>(magnitude);
  if (magnitude == limit) return std::numeric_limits<long long>::min();
  return -static_cast<long long>(magnitude);
}

Text TextFromBytes(ByteView bytes) {
  if (bytes.empty()) return {};
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const void* zero = std::memchr(data, 0, bytes.size());
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : bytes.size();
  return Text(data, length);
}

Bytes BytesFromText(std::string_view text) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  return Bytes(data, data + text.size());
}

}  // namespace morvane
