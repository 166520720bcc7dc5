#include "text/charset.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "text/time_stamp.h"

namespace morvane {
namespace {

using namespace std::string_literals;

ByteView View(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string Base64Decode(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    buffer = (buffer << 6) | static_cast<unsigned>(alphabet.find(c));
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

TEST(Base64EncodeTest, MatchesRfc4648Vectors) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\0"s, "AA=="},
      {"\xFF\xFE\xFD", "//79"},  // the last two alphabet entries
      {"\xFB\xEF", "++8="},
      {"user:pass", "dXNlcjpwYXNz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(View(c.input)), c.expected) << c.input;
  }
  EXPECT_EQ(Base64Encode(std::string_view("foobar")), "Zm9vYmFy");
}

TEST(Utf8ToGbkTest, ConvertsWithCodePage936Mapping) {
  const struct {
    const char* what;
    std::string utf8;
    std::string gbk;
  } cases[] = {
      {"empty", "", ""},
      {"ascii", "abc <a href=\"/x\">", "abc <a href=\"/x\">"},
      {"zhong", "\xE4\xB8\xAD", "\xD6\xD0"},
      {"euro is 0x80 in 936", "\xE2\x82\xAC", "\x80"},
      {"ideographic space", "\xE3\x80\x80", "\xA1\xA1"},
      {"mixed", "a\xE4\xB8\xAD\xE6\x96\x87z", "a\xD6\xD0\xCE\xC4z"},
      {"GBK-only character", "\xE4\xB8\x82", "\x81\x40"},
      {"best fit, as Windows converts without flags", "\xC3\xA2", "a"},
      {"invalid byte",
       "a\xFF"
       "b",
       "a?b"},
      {"truncated sequence before ascii", "\xE4\xB8x", "?x"},
      {"truncated sequence at end", "ab\xE4\xB8", "ab?"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"emoji (not in 936; GB18030 would have it)", "x\xF0\x9F\x98\x80y", "x?y"},
      {"U+0000 ends the text", "ab\0\xE4\xB8\xAD"s, "ab"},
      {"U+0000 right after a lead byte", "a\xE4\0b"s, "a?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.what;
  }
}

TEST(Utf8ToGbkTest, LargeInputKeepsEveryCharacter) {
  std::string utf8;
  std::string gbk;
  for (int i = 0; i < 100000; ++i) {
    utf8 += "\xE4\xB8\xAD<p>";
    gbk += "\xD6\xD0<p>";
  }
  EXPECT_EQ(Utf8ToGbk(utf8), gbk);
}

TEST(GbkConversionTest, RoundTripsThroughUtf8AndUtf16) {
  const std::string gbk = "\xD6\xD0\xCE\xC4 abc \x80\xA1\xA1\x81\x40";
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87 abc \xE2\x82\xAC\xE3\x80\x80\xE4\xB8\x82";
  EXPECT_EQ(GbkToUtf8(gbk), utf8);
  EXPECT_EQ(Utf8ToGbk(GbkToUtf8(gbk)), gbk);
  EXPECT_EQ(GbkToUtf16(gbk), u"中文 abc €　丂");
  EXPECT_EQ(Utf16ToGbk(GbkToUtf16(gbk)), gbk);
  EXPECT_EQ(GbkToUtf8(""), "");
  EXPECT_EQ(GbkToUtf16(""), u"");
  EXPECT_EQ(Utf16ToGbk(u""), "");
}

TEST(GbkConversionTest, BrokenInputBecomesReplacementCharacters) {
  // A lead byte before a quote must not swallow the quote: JSON and HTML
  // structure survives a broken character.
  EXPECT_EQ(GbkToUtf8("\x81\"x\""), "\xEF\xBF\xBD\"x\"");
  EXPECT_EQ(GbkToUtf8("ab\xD6"), "ab\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToGbk(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"ab\0c", 4)), "ab");
}

// The whole text through ICU in one call, set up as the module sets up its
// converters.
std::string ConvertWhole(const char* to, const char* from, const std::string& input) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* target = ucnv_open(to, &status);
  UConverter* source = ucnv_open(from, &status);
  for (UConverter* converter : {target, source}) {
    if (std::string_view(ucnv_getName(converter, &status)) != "UTF-8") {
      ucnv_setSubstChars(converter, "?", 1, &status);
      ucnv_setFallback(converter, true);
    }
  }
  std::string output(input.size() * 3 + 16, '\0');
  char* out = output.data();
  const char* in = input.data();
  ucnv_convertEx(target, source, &out, output.data() + output.size(), &in,
                 input.data() + input.size(), nullptr, nullptr, nullptr, nullptr, true, true,
                 &status);
  ucnv_close(target);
  ucnv_close(source);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  output.resize(static_cast<std::size_t>(out - output.data()));
  return output;
}

// Long ASCII stretches are copied around the converters; broken input of
// every kind next to them must come out as a single conversion gives it.
TEST(GbkConversionTest, CopyingAsciiStretchesMatchesWholeConversion) {
  std::mt19937 generator(20240501);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> anyByte(1, 255);
  std::uniform_int_distribution<int> highByte(0x80, 0xFF);
  std::uniform_int_distribution<int> runLength(1, 70);
  for (int round = 0; round < 400; ++round) {
    std::string input;
    while (input.size() < 600) {
      const int k = kind(generator);
      if (k < 4) {
        // Letters and "~" can be trail bytes after a lead byte; "<", space,
        // quote, digits and DEL cannot.
        static constexpr std::string_view kRunBytes = "a<\" 0~\x7F@Z";
        input.append(static_cast<std::size_t>(runLength(generator)),
                     kRunBytes[static_cast<std::size_t>(round) % kRunBytes.size()]);
      } else if (k < 7) {
        input += static_cast<char>(highByte(generator));
      } else {
        input += static_cast<char>(anyByte(generator));
      }
    }
    ASSERT_EQ(GbkToUtf8(input), ConvertWhole("UTF-8", "windows-936-2000", input)) << round;
    ASSERT_EQ(Utf8ToGbk(input), ConvertWhole("windows-936-2000", "UTF-8", input)) << round;
    const std::string utf8 = GbkToUtf8(input);
    ASSERT_EQ(Utf8ToGbk(utf8), ConvertWhole("windows-936-2000", "UTF-8", utf8)) << round;
  }
}

TEST(DecodeToGbkTest, DecodesNamedCharsets) {
  const struct {
    const char* charset;
    std::string body;
    std::string gbk;
  } cases[] = {
      {"utf-8", "\xE4\xB8\xAD!", "\xD6\xD0!"},
      {"UTF8", "\xE4\xB8\xAD", "\xD6\xD0"},
      {"big5", "\xA4\xA4\xA4\xE5", "\xD6\xD0\xCE\xC4"},
      {"shift_jis", "\x92\x86 \x82\xA0", "\xD6\xD0 \xA4\xA2"},
      {"iso-8859-1", "caf\xE9", "caf\xA8\xA6"},
      // Windows and browsers read iso-8859-1 pages as code page 1252.
      {"ISO-8859-1", "\x80\x93x\x94", "\x80\xA1\xB0x\xA1\xB1"},
      {"gbk", "\xD6\xD0\x81\x40", "\xD6\xD0\x81\x40"},
      // gb2312 pages are read as GBK, so GBK-only characters survive.
      {"GB2312", "\xD6\xD0\x81\x40", "\xD6\xD0\x81\x40"},
      {"utf-16le", "A\0\x2D\x4E"s, "A\xD6\xD0"},
      {"utf-16le", "A\0\0\0B\0"s, "A"},  // cut at the first zero
      {"utf-8", "", ""},
  };
  for (const auto& c : cases) {
    const auto decoded = DecodeToGbk(View(c.body), c.charset);
    ASSERT_TRUE(decoded.has_value()) << c.charset;
    EXPECT_EQ(*decoded, c.gbk) << c.charset;
  }
  EXPECT_EQ(DecodeToGbk(View("abc"), "no-such-charset"), std::nullopt);
  EXPECT_EQ(DecodeToGbk(View("abc"), ""), std::nullopt);
}

TEST(TimeStampTest, FormatsSecondsSinceLocalEpochAndPaddedMilliseconds) {
  const struct {
    LocalTimeParts parts;
    bool secondsOnly;
    std::string expected;
  } cases[] = {
      {{2024, 1, 1, 8, 0, 0, 7}, false, "1704067200007"},
      {{2024, 1, 1, 8, 0, 0, 950}, false, "1704067200950"},
      {{2024, 1, 1, 8, 0, 0, 950}, true, "1704067200"},
      {{2024, 3, 1, 7, 59, 59, 0}, false, "1709251199000"},  // after a leap day
      // Short counts are padded at the end, not the front.
      {{1970, 1, 1, 8, 0, 5, 7}, false, "5007000000000"},
      {{1970, 1, 1, 8, 0, 5, 7}, true, "5007000000"},
      {{1970, 1, 1, 8, 0, 0, 0}, false, "0000000000000"},
      // Eleven digits of seconds: never cut, except to 10 with secondsOnly.
      {{2286, 11, 21, 1, 46, 40, 123}, false, "10000000000123"},
      {{2286, 11, 21, 1, 46, 40, 123}, true, "1000000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatTimeStamp(c.parts, c.secondsOnly), c.expected) << c.expected;
  }
}

// Sets TZ for one scope; the time stamp reads the local clock.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string old_;
};

long long UnixMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST(TimeStampTest, ReadsTheLocalClock) {
  constexpr long long kSlackMs = 60'000;
  {
    // Eight hours ahead of UTC the stamp is the Unix time in milliseconds.
    ScopedTimeZone zone("CST-8");
    const std::string stamp = MakeTimeStamp();
    ASSERT_EQ(stamp.size(), 13u);
    EXPECT_NEAR(std::stoll(stamp), UnixMilliseconds(), kSlackMs);
    const std::string seconds = MakeTimeStamp(true);
    ASSERT_EQ(seconds.size(), 10u);
    EXPECT_NEAR(std::stoll(seconds), UnixMilliseconds() / 1000, kSlackMs / 1000);
  }
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_NEAR(std::stoll(MakeTimeStamp()), UnixMilliseconds() - 8 * 3600 * 1000LL, kSlackMs);
  }
}

TEST(RandomDigitsTest, CountsAndDigits) {
  EXPECT_EQ(RandomDigits().size(), 19u);
  EXPECT_EQ(RandomDigits(0).size(), 19u);
  EXPECT_EQ(RandomDigits(5).size(), 5u);
  EXPECT_EQ(RandomDigits(1000).size(), 1000u);
  EXPECT_EQ(RandomDigits(-1), "");
  EXPECT_EQ(RandomDigits(1000).find_first_not_of("0123456789"), std::string::npos);
}

TEST(RandomDigitsTest, CallsInTheSameMillisecondDiffer) {
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(RandomDigits());
  EXPECT_EQ(seen.size(), 2000u);
}

TEST(RandomDigitsTest, DigitsAreUniform) {
  int counts[10] = {};
  for (int i = 0; i < 500; ++i) {
    for (char c : RandomDigits(200)) ++counts[c - '0'];
  }
  // 100,000 digits: each count is 10,000 with a standard deviation of 95.
  for (int count : counts) EXPECT_NEAR(count, 10000, 600);
}

// Lanzou resolves run on threads of their own and convert at the same time.
TEST(RandomDigitsTest, ConcurrentCallsAreSafeAndDistinct) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 500;
  std::vector<std::vector<std::string>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&results, t] {
      for (int i = 0; i < kCalls; ++i) {
        results[t].push_back(RandomDigits());
        results[t].push_back(Utf8ToGbk(GbkToUtf8("\xD6\xD0")));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> digits;
  for (const auto& list : results) {
    for (std::size_t i = 0; i < list.size(); i += 2) {
      digits.insert(list[i]);
      EXPECT_EQ(list[i + 1], "\xD6\xD0");
    }
  }
  EXPECT_EQ(digits.size(), static_cast<std::size_t>(kThreads * kCalls));
}

TEST(MakeLogIdTest, IsBase64OfStampDotDigits) {
  const std::string id = MakeLogId();
  ASSERT_EQ(id.size(), 44u);
  EXPECT_EQ(
      id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
      std::string::npos);
  const std::string decoded = Base64Decode(id);
  ASSERT_EQ(decoded.size(), 33u);
  EXPECT_EQ(decoded.find_first_not_of("0123456789"), 13u);
  EXPECT_EQ(decoded[13], '.');
  EXPECT_EQ(decoded.find_first_not_of("0123456789", 14), std::string::npos);
  EXPECT_NE(MakeLogId(), MakeLogId());
}

}  // namespace
}  // namespace morvane
