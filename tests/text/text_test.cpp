#include "text/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace morvane {
namespace {

// GBK bytes used below: 中 = D6 D0, 文 = CE C4, the full-width space = A1 A1,
// 引号 = D2 FD BA C5.
constexpr const char* kZhong = "\xD6\xD0";
constexpr const char* kFullWidthSpace = "\xA1\xA1";

TEST(TextBetweenTest, CasesWithDefaults) {
  struct Case {
    const char* text;
    const char* left;
    const char* right;
    const char* expected;
  };
  const Case cases[] = {
      {"v=1.5;", "v=", ";", "1.5"},
      {"ab", "a", "b", ""},      // markers touch
      {"]x[1]", "[", "]", "1"},  // right marker only after the left one
      {"abc", "x", "c", ""},     // left missing
      {"abc", "a", "x", ""},     // right missing
      {"", "a", "b", ""},
      {"abc", "a", "", ""},    // an empty right marker never gives anything
      {"abc", "", "c", "ab"},  // an empty left marker starts at the first byte
      {"aXa", "a", "a", "X"},  // the right marker never overlaps the left one
      {"k=\xD6\xD0;", "k=", ";", "\xD6\xD0"},
      // ";" as the trail byte of a two-byte character is not a marker.
      {"k=\xD6;x;", "k=", ";", "\xD6;x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected)
        << c.text << " | " << c.left << " | " << c.right;
  }
}

TEST(TextBetweenTest, QuoteMarkerStandsForDoubleQuote) {
  const std::string page = "var url = \"http://x/y\";";
  const char* quoteMarker = "#\xD2\xFD\xBA\xC5";
  EXPECT_EQ(TextBetween(page, std::string("url = ") + quoteMarker, quoteMarker), "http://x/y");
  EXPECT_EQ(TextBetween(page, "url = \"", "\""), "http://x/y");
  // A marker made of the quote marker alone, on both sides.
  EXPECT_EQ(TextBetween(page, quoteMarker, quoteMarker), "http://x/y");
  // The five bytes themselves in the page are not matched by the marker.
  EXPECT_EQ(TextBetween(std::string("a") + quoteMarker + "b", "a", quoteMarker), "");
}

TEST(TextBetweenTest, StartPositionAndIgnoreCase) {
  EXPECT_EQ(TextBetween("a=1;a=2;", "a=", ";", 2), "2");
  EXPECT_EQ(TextBetween("<TITLE>Hi</title>", "<title>", "</TITLE>", 0, true), "Hi");
  EXPECT_EQ(TextBetween("<TITLE>Hi</title>", "<title>", "</title>"), "");
  EXPECT_EQ(TextBetween("abc", "a", "c", 10), "");
}

TEST(FindTextTest, Cases) {
  struct Case {
    std::string text;
    std::string sub;
    Position start;
    bool ignoreCase;
    Position expected;
  };
  const Case cases[] = {
      {"abcabc", "bc", 0, false, 2},
      {"abcabc", "bc", 1, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", -5, false, 2},
      {"abcabc", "bc", 7, false, -1},  // beyond the last byte
      {"abcabc", "", 3, false, 1},     // an empty sub gives 1, not the start
      {"", "", 0, false, -1},
      {"abc", "abcd", 0, false, -1},
      {"abc", "C", 0, false, -1},
      {"abc", "C", 0, true, 3},
      {"aBc", "Bc", 0, false, 2},
      // 中 followed by P: D0 is the trail byte of 中, never a match start.
      {"\xD6\xD0P", "\xD0", 0, false, -1},
      {"\xD6\xD0\xD0P", "\xD0P", 0, false, 3},
      // Any byte of 0x80 or above takes the next byte along, valid GBK or not.
      {"\x80\"x\"", "\"", 0, false, 4},
      {"\xFF"
       "AA",
       "A", 0, false, 3},
      {"\xD6"
       "A",
       "a", 0, true, -1},
      // A trail byte that is a letter is not folded: 81 41 and 81 61 differ.
      {"\x81\x41", "\x81\x61", 0, true, -1},
      {"\x81\x41x", "\x81\x41X", 0, true, 1},
      // A match may end on a lead byte.
      {"a\xD6\xD0", "a\xD6", 0, false, 1},
      // A start position is taken as a character start.
      {"\xD6\xD0P", "\xD0", 2, false, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindText(c.text, c.sub, c.start, c.ignoreCase), c.expected)
        << c.text << " | " << c.sub << " | " << c.start << " | " << c.ignoreCase;
  }
}

TEST(FindTextTest, FromEnd) {
  EXPECT_EQ(FindTextFromEnd("aaa", "aa"), 2);  // matches overlap
  EXPECT_EQ(FindTextFromEnd("a:b:c", ":"), 4);
  EXPECT_EQ(FindTextFromEnd("abc", "x"), -1);
  EXPECT_EQ(FindTextFromEnd("", "x"), -1);
  EXPECT_EQ(FindTextFromEnd("ABab", "AB", true), 3);
  EXPECT_EQ(FindTextFromEnd("P\xD6P\xD6", "P"), 1);
  EXPECT_EQ(FindTextFromEnd("\xD6\xD0\xD6\xD0", "\xD0\xD6"), -1);
}

TEST(BlanksTest, TrimBlanks) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::string fw = kFullWidthSpace;
  const Case cases[] = {
      {"  a b  ", "a b"},
      {fw + " a" + fw + "b " + fw + fw, "a" + fw + "b"},
      {"\ta\r\n", "\ta\r\n"},
      {" \t a \n ", "\t a \n"},
      {"   ", ""},
      {fw + " " + fw, ""},
      {"", ""},
      // B0 A1 is a character; the A1 A1 after it is a blank.
      {"x\xB0\xA1\xA1\xA1", "x\xB0\xA1"},
      // A1 A1 then a lone A1 at the end: nothing to trim at the end.
      {"x\xA1\xA1\xA1", "x\xA1\xA1\xA1"},
      // The blank after a lead byte is its trail byte.
      {"x\xD6 ", "x\xD6 "},
      {" \xA1", "\xA1"},
      {"\xA1\xA2 ", "\xA1\xA2"},
  };
  for (const Case& c : cases) EXPECT_EQ(TrimBlanks(c.text), c.expected) << c.text;
}

TEST(BlanksTest, RemoveBlanks) {
  const std::string fw = kFullWidthSpace;
  EXPECT_EQ(RemoveBlanks(" a b" + fw + "c\t\r\n " + fw), "abc\t\r\n");
  EXPECT_EQ(RemoveBlanks("x\xD6 y"), "x\xD6 y");
  EXPECT_EQ(RemoveBlanks("\xA1\xA2\xB0\xA1\xA1\xA1"), "\xA1\xA2\xB0\xA1");
  EXPECT_EQ(RemoveBlanks("a\xA1"), "a\xA1");
  EXPECT_EQ(RemoveBlanks(""), "");
}

TEST(SplitTextTest, EmptyPieceRules) {
  struct Case {
    std::string text;
    std::string separator;
    TextList expected;
  };
  const Case cases[] = {
      {"", ";", {}},
      {"a;b", "", {"a;b"}},
      {"a;b", ";", {"a", "b"}},
      {";a", ";", {"", "a"}},
      {"a;", ";", {"a"}},
      {"a;;b", ";", {"a", "", "b"}},
      {";", ";", {""}},
      {";;", ";", {"", ""}},
      {"a; b; c; ", "; ", {"a", "b", "c"}},
      {"abc", "x", {"abc"}},
      // 3B after D6 is the trail byte of a character, not a separator.
      {"\xD6;a;b", ";", {"\xD6;a", "b"}},
      {"\xD6\xD0\xD6\xD0", "\xD0", {"\xD6\xD0\xD6\xD0"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitText(c.text, c.separator), c.expected) << c.text;
}

TEST(ReplaceTextTest, Cases) {
  struct Case {
    std::string text;
    std::string sub;
    std::string replacement;
    bool ignoreCase;
    std::string expected;
  };
  const Case cases[] = {
      {"", "a", "b", false, ""},
      {"abc", "", "x", false, "abc"},
      {"a-b-c", "-", "", false, "abc"},
      {"aaa", "aa", "b", false, "ba"},   // from the left, no overlap
      {"aa", "a", "aa", false, "aaaa"},  // the replacement is not searched again
      {"Set-COOKIE: x", "set-cookie", "Set-Cookie", true, "Set-Cookie: x"},
      {"Set-COOKIE: x", "set-cookie", "Set-Cookie", false, "Set-COOKIE: x"},
      {"\xD6\xD0\xD0", "\xD0", "!", false, "\xD6\xD0!"},
      {"\xD6"
       "a"
       "a",
       "a", "b", false,
       "\xD6"
       "ab"},
      {"x\xD6", "\xD6", "y", false, "xy"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.sub, c.replacement, c.ignoreCase), c.expected) << c.text;
  }
}

TEST(ByteCutTest, LeftRightMid) {
  EXPECT_EQ(LeftBytes("abc", 0), "");
  EXPECT_EQ(LeftBytes("abc", -1), "");
  EXPECT_EQ(LeftBytes("abc", 2), "ab");
  EXPECT_EQ(LeftBytes("abc", 9), "abc");
  EXPECT_EQ(RightBytes("abc", 0), "");
  EXPECT_EQ(RightBytes("abc", 2), "bc");
  EXPECT_EQ(RightBytes("abc", 9), "abc");
  EXPECT_EQ(MidBytes("abcd", 2, 2), "bc");
  EXPECT_EQ(MidBytes("abcd", 3, 9), "cd");
  EXPECT_EQ(MidBytes("abcd", 0, 2), "");
  EXPECT_EQ(MidBytes("abcd", 5, 1), "");
  EXPECT_EQ(MidBytes("abcd", 1, 0), "");
  EXPECT_EQ(MidBytes("abcd", 4, std::numeric_limits<Position>::max()), "d");
  // Bytes, not characters: half of 中 is cut.
  EXPECT_EQ(LeftBytes(kZhong, 1), "\xD6");
}

TEST(LowerCaseTest, OnlyLettersThatAreCharacters) {
  EXPECT_EQ(LowerCase("AbC-Z@[`"), "abc-z@[`");
  EXPECT_EQ(LowerCase("A\x81\x41Z"), "a\x81\x41z");
  EXPECT_EQ(LowerCase("A\x81"), "a\x81");
}

TEST(TextToIntegerTest, Cases) {
  constexpr long long kMax = std::numeric_limits<long long>::max();
  constexpr long long kMin = std::numeric_limits<long long>::min();
  struct Case {
    const char* text;
    long long expected;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 0},
      {"42", 42},
      {"  \t\r\n-17xyz", -17},
      {"+8", 8},
      {"- 8", 0},
      {"12 34", 12},
      {"8443/X", 8443},
      {"9223372036854775807", kMax},
      {"9223372036854775808", kMax},
      {"-9223372036854775808", kMin},
      {"-9223372036854775809", kMin},
      {"99999999999999999999999999999999999999999", kMax},
      {"-99999999999999999999999999999999999999999", kMin},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToInteger(c.text), c.expected) << c.text;
}

TEST(HeaderLineTest, NameAndValue) {
  EXPECT_EQ(HeaderLineName("Accept:  text/html  "), "Accept");
  EXPECT_EQ(HeaderLineValue("Accept:  text/html  "), "text/html");
  EXPECT_EQ(HeaderLineName(" Host : a.b:8080"), "Host");
  EXPECT_EQ(HeaderLineValue(" Host : a.b:8080"), "a.b:8080");  // only the first colon splits
  EXPECT_EQ(HeaderLineName("no colon here"), "");
  EXPECT_EQ(HeaderLineValue("no colon here"), "");
  EXPECT_EQ(HeaderLineValue("X: value\t"), "value\t");
  EXPECT_EQ(HeaderLineValue("X:"), "");
}

TEST(BytesTest, TextFromBytesStopsAtZero) {
  const Bytes body = {'a', 'b', 0, 'c'};
  EXPECT_EQ(TextFromBytes(body), "ab");
  EXPECT_EQ(TextFromBytes(Bytes{}), "");
  EXPECT_EQ(TextFromBytes(Bytes{0xD6, 0xD0}), kZhong);
  EXPECT_EQ(BytesFromText("a\xD6"), (Bytes{'a', 0xD6}));
  EXPECT_TRUE(BytesFromText("").empty());
}

// Deliberately plain versions of the search primitives: at every character
// start, compare the bytes there. The fast versions must agree with them on
// any text.
namespace reference {

std::size_t Step(std::string_view text, std::size_t index) {
  return static_cast<unsigned char>(text[index]) >= 0x80 ? 2 : 1;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (std::size_t i = 0; i < result.size(); i += Step(result, i)) {
    if (result[i] >= 'A' && result[i] <= 'Z') result[i] = static_cast<char>(result[i] + 32);
  }
  return result;
}

bool MatchesAt(std::string_view text, std::size_t i, std::string_view sub, bool ignoreCase) {
  if (i + sub.size() > text.size()) return false;
  const std::string_view window = text.substr(i, sub.size());
  return ignoreCase ? Lower(window) == Lower(sub) : window == sub;
}

Position Find(std::string_view text, std::string_view sub, Position start, bool ignoreCase) {
  const std::size_t skip = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  if (skip >= text.size()) return -1;
  if (sub.empty()) return 1;
  for (std::size_t i = skip; i < text.size(); i += Step(text, i)) {
    if (MatchesAt(text, i, sub, ignoreCase)) return static_cast<Position>(i) + 1;
  }
  return -1;
}

Position FindFromEnd(std::string_view text, std::string_view sub, bool ignoreCase) {
  Position last = -1;
  for (std::size_t i = 0; i < text.size(); i += Step(text, i)) {
    if (MatchesAt(text, i, sub, ignoreCase)) last = static_cast<Position>(i) + 1;
  }
  return last;
}

TextList Split(std::string_view text, std::string_view separator) {
  if (text.empty()) return {};
  if (separator.empty()) return {Text(text)};
  TextList pieces;
  std::size_t pieceStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (MatchesAt(text, i, separator, false)) {
      pieces.emplace_back(text.substr(pieceStart, i - pieceStart));
      i += separator.size();
      pieceStart = i;
    } else {
      i += Step(text, i);
    }
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

Text Replace(std::string_view text, std::string_view sub, std::string_view replacement,
             bool ignoreCase) {
  if (text.empty() || sub.empty()) return Text(text);
  Text result;
  for (std::size_t i = 0; i < text.size();) {
    if (MatchesAt(text, i, sub, ignoreCase)) {
      result += replacement;
      i += sub.size();
    } else {
      const std::size_t length = std::min(Step(text, i), text.size() - i);
      result += text.substr(i, length);
      i += length;
    }
  }
  return result;
}

Text Trim(std::string_view text) {
  auto isBlankAt = [&](std::size_t i) { return text[i] == ' ' || text.substr(i, 2) == "\xA1\xA1"; };
  std::size_t begin = 0;
  while (begin < text.size() && isBlankAt(begin)) begin += text[begin] == ' ' ? 1 : 2;
  std::size_t end = begin;
  for (std::size_t i = begin; i < text.size();) {
    const bool blank = isBlankAt(i);
    i = std::min(i + Step(text, i), text.size());
    if (!blank) end = i;
  }
  return Text(text.substr(begin, end - begin));
}

}  // namespace reference

// Mixed ASCII and GBK texts from a few bytes chosen to collide: letters of both
// cases that also serve as trail bytes, ";" and blanks, lead bytes that double
// as trail bytes, and the full-width space byte.
TEST(DifferentialTest, SearchPrimitivesAgreeWithPlainScan) {
  std::mt19937 random(20240611);
  const std::string alphabet = std::string("aAbB ;:") + "\xA1\xD6\xD0\x80\xFE";
  auto randomText = [&](std::size_t maxLength) {
    std::string text(std::uniform_int_distribution<std::size_t>(0, maxLength)(random), ' ');
    for (char& c : text) {
      c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
    }
    return text;
  };
  for (int round = 0; round < 40000; ++round) {
    const std::string text = randomText(round % 10 == 0 ? 300 : 24);
    std::string sub;
    // Half the subs are cut from the text at any byte, trail bytes included,
    // so that matches and near-matches are frequent.
    if (random() % 2 == 0 && !text.empty()) {
      const std::size_t at = random() % text.size();
      sub = text.substr(at, 1 + random() % 4);
    } else {
      sub = randomText(3);
    }
    const std::string replacement = randomText(3);
    const Position start = static_cast<Position>(random() % (text.size() + 4)) - 2;
    for (const bool ignoreCase : {false, true}) {
      SCOPED_TRACE(testing::Message() << "round " << round << " text '" << text << "' sub '" << sub
                                      << "' start " << start << " ignoreCase " << ignoreCase);
      ASSERT_EQ(FindText(text, sub, start, ignoreCase),
                reference::Find(text, sub, start, ignoreCase));
      ASSERT_EQ(FindTextFromEnd(text, sub, ignoreCase),
                reference::FindFromEnd(text, sub, ignoreCase));
      ASSERT_EQ(ReplaceText(text, sub, replacement, ignoreCase),
                reference::Replace(text, sub, replacement, ignoreCase));
    }
    ASSERT_EQ(SplitText(text, sub), reference::Split(text, sub)) << text << " | " << sub;
    ASSERT_EQ(TrimBlanks(text), reference::Trim(text)) << text;
  }
}

}  // namespace
}  // namespace morvane
