#include "script/regex_object.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script_test_support.h"
#include "text/charset.h"

namespace morvane {
namespace {

using test::G;
using test::ReadFixture;

// The patterns the resolvers and the fetcher pass, with every flag omitted.
const std::string kHostPattern = R"((http[s]*\://.*?)/)";
const std::string kChengtongPattern =
    R"(abuse\?uid\=(.*?)&[\s\S]*?free\_down\('(.*?)',\s0,\s'(.*?)')";
const std::string kFramePattern = R"re(ifr2"\sname="[\s\S]*?"\ssrc="\/(.*?)")re";
const std::string kFormPattern =
    R"(=\s'(.*?)';[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)')";
const std::string kCharsetPattern = R"(<meta.+?charset=[^\w]?([-\w]+))";

TEST(RegexObjectTest, SystemPatternsOverPages) {
  const struct {
    const char* what;
    std::string pattern;
    Text subject;
    std::vector<Text> groups;  // empty: no match expected
  } cases[] = {
      {"host of a share address",
       kHostPattern,
       "https://url89.ctfile.com/f/1234-5678-9a0b?p=1",
       {"https://url89.ctfile.com"}},
      {"chengtong page, line breaks in the gap",
       kChengtongPattern,
       ReadFixture("chengtong_share.html"),
       {"1234567", "987654321", "7d9e1f0a3b5c"}},
      {"lanzou share page frame",
       kFramePattern,
       ReadFixture("lanzou_share.html"),
       {"fn?UDZTblhvCjdQAF1tVTYANgNqU2EAbgBpVGYBalMx"}},
      {"lanzou frame page form values",
       kFormPattern,
       ReadFixture("lanzou_frame.html"),
       {"downprocess", "123456789", "VDNWOgswBDMGCVNjU2BSMl", "Zb5n"}},
      {"meta charset in capitals",
       kCharsetPattern,
       R"(<HTML><HEAD><META HTTP-EQUIV="Content-Type" CONTENT="text/html; CHARSET=gb2312">)",
       {"gb2312"}},
      {"html5 meta charset", kCharsetPattern, R"(<meta charset="utf-8" />)", {"utf-8"}},
      // \w stays ASCII: the name ends where the Chinese title begins.
      {"charset followed by Chinese", kCharsetPattern, G("<meta charset=gbk中文标题>"), {"gbk"}},
      {"'.' stops at CR", kCharsetPattern, "<meta name=a\r\ncharset=utf-8>", {}},
      {"'.' cannot span the chengtong gap",
       R"(abuse\?uid\=(.*?)&.*?free\_down\('(.*?)',\s0,\s'(.*?)')",
       ReadFixture("chengtong_share.html"),
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegexObject regex;
    ASSERT_TRUE(regex.Search(c.pattern, c.subject));
    if (c.groups.empty()) {
      EXPECT_EQ(regex.MatchCount(), 0);
      EXPECT_EQ(regex.SubMatchText(1, 1), "");
      continue;
    }
    EXPECT_EQ(regex.MatchCount(), 1);
    EXPECT_EQ(regex.SubMatchCount(), static_cast<int>(c.groups.size()));
    for (std::size_t i = 0; i < c.groups.size(); ++i) {
      EXPECT_EQ(regex.SubMatchText(1, static_cast<int>(i + 1)), c.groups[i]) << "group " << i + 1;
    }
  }
}

TEST(RegexObjectTest, PositionsAreGbkByteOffsets) {
  // The chengtong fixture has Chinese text before the match, so the byte
  // offset is larger than the character offset.
  const Text page = ReadFixture("chengtong_share.html");
  RegexObject regex;
  ASSERT_TRUE(regex.Search(kChengtongPattern, page));
  Position position = -9;
  EXPECT_EQ(regex.MatchText(1, &position).substr(0, 17), "abuse?uid=1234567");
  EXPECT_EQ(position, static_cast<Position>(page.find("abuse?uid=")));
  EXPECT_EQ(regex.SubMatchText(1, 3, &position), "7d9e1f0a3b5c");
  EXPECT_EQ(position, static_cast<Position>(page.find("7d9e1f0a3b5c")));

  // The offset of the text itself, also where a search for the text from
  // the match's character offset would start inside a two-byte character
  // or find an earlier copy of it.
  const struct {
    const char* what;
    Text pattern;
    Text subject;
    bool caseSensitive;
    int subIndex;  // 0: the whole match
    Text text;
    Position position;
  } cases[] = {
      {"after one Chinese character", "abc", G("中abc"), false, 0, "abc", 2},
      {"after two Chinese characters", "abc", G("中文abc中"), false, 0, "abc", 4},
      {"group after Chinese text", G("c(中)"), G("中文abc中"), false, 1, G("中"), 7},
      {"group later than an equal text", "x(a)", "axa", false, 1, "a", 2},
      {"case-insensitive after a capital", "x$", G("中中Xx"), false, 0, "x", 5},
      {"case-sensitive", "x$", G("中中Xx"), true, 0, "x", 5},
      {"empty match", "$", "abc", false, 0, "", 3},
      {"empty match in an empty subject", "^", "", false, 0, "", 0},
      {"group that took no part", "(x)?b", "ab", false, 1, "", -2},
      {"group beyond the pattern", "(b)", "ab", false, 2, "", -2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegexObject object;
    ASSERT_TRUE(object.Search(c.pattern, c.subject, c.caseSensitive));
    ASSERT_GE(object.MatchCount(), 1);
    position = -9;
    const Text text = c.subIndex == 0 ? object.MatchText(1, &position)
                                      : object.SubMatchText(1, c.subIndex, &position);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(position, c.position);
  }
}

TEST(RegexObjectTest, DialectDetails) {
  const struct {
    const char* what;
    Text pattern;
    Text subject;
    bool caseSensitive;
    bool multiline;
    Text firstMatch;  // empty: no match expected
  } cases[] = {
      {"'.' takes a whole Chinese character", G("中(.)文"), G("中国文"), false, true, G("中国文")},
      {"\\w is ASCII only", R"(\w+)", G("中文abc_1"), false, true, "abc_1"},
      {"\\s is ASCII only", R"(a\sb)", G("a　b"), false, true, ""},
      {"ignore case by default", "ABC", "xabcx", false, true, "abc"},
      {"case-sensitive when asked", "ABC", "xabcx", true, true, ""},
      {"multi-line by default", "^b$", "a\nb\nc", false, true, "b"},
      {"single line when asked", "^b$", "a\nb\nc", false, false, ""},
      {"$ before CR", "a$", "a\r\nb", false, true, "a"},
      {"escaped punctuation is literal", R"(\:\=\_\/\'\?)", R"(x:=_/'?)", false, true, R"(:=_/'?)"},
      {"[-\\w] with a leading hyphen", R"([-\w]+)", "  x-y_z ", false, true, "x-y_z"},
      {"\\u escapes a UTF-16 unit", R"(\u4e2d)", G("a中"), false, true, G("中")},
      {"lazy span over 100 KB", R"(<b>[\s\S]*?</b>)", "<b>" + std::string(100000, '\n') + "</b>",
       false, true, "<b>" + std::string(100000, '\n') + "</b>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegexObject regex;
    ASSERT_TRUE(regex.Search(c.pattern, c.subject, c.caseSensitive, c.multiline));
    EXPECT_EQ(regex.MatchCount(), c.firstMatch.empty() ? 0 : 1);
    EXPECT_EQ(regex.MatchText(1), c.firstMatch);
  }
}

TEST(RegexObjectTest, RejectedPatternsGiveNeutralValues) {
  for (const char* pattern : {"(abc", "a)", "[a", "*a", "a{2,1}", R"(\C)", R"(x\)"}) {
    SCOPED_TRACE(pattern);
    RegexObject regex;
    EXPECT_FALSE(regex.Search(pattern, "abc a) [a"));
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.SubMatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), "");
    EXPECT_EQ(regex.Replace("x"), "");
    // The engine holds the pattern even when it rejects it.
    EXPECT_EQ(regex.GetPattern(), pattern);
  }
  RegexObject fresh;
  EXPECT_EQ(fresh.GetPattern(), "");
  EXPECT_EQ(fresh.MatchCount(), 0);
  EXPECT_EQ(fresh.Replace("x"), "");
}

TEST(RegexObjectTest, IndexesOutOfRangeGiveEmptyText) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search(R"((\d)-(\d)(x)?)", "1-2 3-4x"));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchCount(), 3);
  EXPECT_EQ(regex.SubMatchText(2, 3), "x");
  Position position = 0;
  EXPECT_EQ(regex.SubMatchText(1, 3, &position), "");  // optional group that took no part
  EXPECT_EQ(position, -2);
  EXPECT_EQ(regex.SubMatchText(1, 4), "");
  EXPECT_EQ(regex.SubMatchText(0, 1), "");
  EXPECT_EQ(regex.SubMatchText(3, 1), "");
  EXPECT_EQ(regex.SubMatchText(1, 0), "");
  EXPECT_EQ(regex.SubMatchText(-1, 1), "");
  EXPECT_EQ(regex.MatchText(0), "");
  EXPECT_EQ(regex.MatchText(3, &position), "");
  EXPECT_EQ(position, -2);
  EXPECT_EQ(regex.MatchText(2, &position), "3-4x");
  EXPECT_EQ(position, 4);

  ASSERT_TRUE(regex.Search("nothing", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
}

TEST(RegexObjectTest, SecondSearchLeavesNoTrace) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search(R"((a)(b)(c))", "abc abc abc"));
  ASSERT_EQ(regex.MatchCount(), 3);
  ASSERT_TRUE(regex.Search(R"(x(y))", "xy"));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 2), "");
  EXPECT_EQ(regex.SubMatchText(2, 1), "");
  EXPECT_EQ(regex.Replace("-"), "-");
  EXPECT_FALSE(regex.Search("(", "xy"));
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObjectTest, QuoteMarker) {
  const Text subject = R"(<a name="file" href="/d/1">)";
  const Text pattern = G("name=#引号(.*?)#引号");
  RegexObject regex;
  ASSERT_TRUE(regex.Search(pattern, subject, false, true, true, true));
  EXPECT_EQ(regex.SubMatchText(1, 1), "file");
  EXPECT_EQ(regex.GetPattern(), R"re(name="(.*?)")re");
  ASSERT_TRUE(regex.Search(pattern, subject));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.GetPattern(), pattern);
}

TEST(RegexObjectTest, Replace) {
  const struct {
    const char* what;
    Text pattern;
    Text subject;
    bool global;
    Text replacement;
    Text expected;
  } cases[] = {
      {"global removes every match", "an", "banana", true, "", "ba"},
      {"non-global replaces the first", "an", "banana", false, "", "bana"},
      {"groups", R"((\w+)@(\w+))", "x a@b y c@d", true, "$2 at $1", "x b at a y d at c"},
      {"whole match and dollar", "o", "foo", true, "[$&$$]", "f[o$][o$]"},
      {"group beyond the pattern stays literal", "(o)", "fo", true, "$1$2$x$", "fo$2$x$"},
      {"Chinese", G("中"), G("中a中"), true, G("文"), G("文a文")},
      {"empty matches advance a whole character", "x*", G("axxb中"), true, "-", G("-a--b-中-")},
      {"an empty match after the start is found once", "(?=b)", "aab", true, "-", "aa-b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegexObject regex;
    ASSERT_TRUE(regex.Search(c.pattern, c.subject, false, true, c.global));
    EXPECT_EQ(regex.Replace(c.replacement), c.expected);
    EXPECT_EQ(regex.Replace(c.replacement), c.expected) << "readers change nothing";
  }
}

TEST(RegexObjectTest, EmptyMatchesEndTheGlobalLoop) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("x*", G("axxb中")));
  ASSERT_EQ(regex.MatchCount(), 5);
  EXPECT_EQ(regex.MatchText(2), "xx");
  EXPECT_EQ(regex.MatchText(5), "");
  ASSERT_TRUE(regex.Search("", "abc"));
  EXPECT_EQ(regex.MatchCount(), 4);
}

TEST(RegexObjectTest, CopiesShareMatchesAndKeepTheirSubject) {
  RegexObject original;
  ASSERT_TRUE(original.Search(R"((\d+))", "a12b345"));
  RegexObject copy(original);
  ASSERT_TRUE(original.Search("z", "zzz"));
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.SubMatchText(2, 1), "345");
  EXPECT_EQ(copy.Replace("#"), "a#b#");
  EXPECT_EQ(copy.GetPattern(), R"((\d+))");
  RegexObject assigned;
  assigned = copy;
  Position position = 0;
  EXPECT_EQ(assigned.MatchText(2, &position), "345");
  EXPECT_EQ(position, 4);
  RegexObject moved(std::move(assigned));
  EXPECT_EQ(moved.MatchCount(), 2);
}

TEST(RegexObjectTest, MatchLimitEndsPathologicalSearches) {
  const struct {
    const char* pattern;
    Text subject;
    int matches;  // found before the limit
  } cases[] = {
      {"(a+)+$", std::string(40, 'a') + "b", 0},
      {"(x+x+)+y", std::string(40, 'x') + "zy", 0},
      {"(a|aa)+$", std::string(60, 'a') + "b", 0},
      {"c|(a+)+$", "c" + std::string(40, 'a') + "b", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    RegexObject regex;
    EXPECT_TRUE(regex.Search(c.pattern, c.subject));
    EXPECT_EQ(regex.MatchCount(), c.matches);
  }
}

TEST(RegexObjectTest, BrokenGbkSubjectIsSafe) {
  // 81 22 is no GBK character: the lead byte alone becomes a replacement
  // character and the quote stays a quote, at its own byte.
  RegexObject regex;
  ASSERT_TRUE(regex.Search("(.)b", "\x81\"b\xD6"));
  EXPECT_EQ(regex.SubMatchText(1, 1), "\"");
  Position position = 0;
  EXPECT_EQ(regex.MatchText(1, &position), "\"b");
  EXPECT_EQ(position, 1);
  EXPECT_EQ(regex.SubMatchText(1, 1, &position), "\"");
  EXPECT_EQ(position, 1);
}

}  // namespace
}  // namespace morvane
