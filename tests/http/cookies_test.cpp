#include "http/cookies.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(MergeCookiesTest, Cases) {
  struct Case {
    const char* cookies;
    const char* newCookies;
    const char* expected;
  };
  const Case cases[] = {
      {"a=1; b=2", "", "a=1; b=2"},
      {"", "c=3", "c=3"},
      {"a=1; b=2", "b=5; c=3", "b=5; c=3; a=1"},
      {"a=1; b=2", "a=deleted", "b=2"},
      {"a=1;b=2;a=9", "", "a=1; b=2"},
      {"A=1", "a=2", "a=2; A=1"},  // names differ in case
      {"a=1", "a=1", "a=1"},
      {"", "", ""},
      {"a=x y", "", "a=xy"},  // blanks inside values go too
      {"a=1;;b=2", "", "a=1; ; b=2"},
      {"", "b=1; b=2", "b=1; b=2"},  // only equal items collapse
      {"a=1;", "b=2;", "b=2; a=1"},  // a trailing ";" adds no empty item
      {"a=deleted; b=2", "", "b=2"},
      {"a=1",
       "\xA1\xA1"
       "c=3\xA1\xA1",
       "c=3; a=1"},
      {"flag; a=1", "flag", "flag; a=1"},
  };
  for (const Case& c : cases) {
    Text cookies = c.cookies;
    Text newCookies = c.newCookies;
    EXPECT_EQ(MergeCookies(cookies, newCookies), c.expected) << c.cookies << " | " << c.newCookies;
    EXPECT_EQ(cookies, c.expected);
  }
}

TEST(MergeCookiesTest, RewritesBothArguments) {
  Text cookies = "a=1; b = 2";
  Text newCookies = " c=3 ;d=4 ";
  const Text merged = MergeCookies(cookies, newCookies);
  EXPECT_EQ(merged, "c=3; d=4; a=1; b=2");
  EXPECT_EQ(cookies, merged);
  EXPECT_EQ(newCookies, "c=3;d=4");
}

TEST(MergeCookiesTest, ManyCookies) {
  Text cookies;
  Text newCookies;
  for (int i = 0; i < 20000; ++i) {
    cookies += "k" + std::to_string(i) + "=old;";
    if (i % 2 == 0) newCookies += "k" + std::to_string(i) + "=new;";
  }
  const Text merged = MergeCookies(cookies, newCookies);
  const TextList items = SplitText(merged, "; ");
  ASSERT_EQ(items.size(), 20000u);
  EXPECT_EQ(items.front(), "k0=new");
  EXPECT_EQ(items[10000], "k1=old");
  EXPECT_EQ(items.back(), "k19999=old");
}

TEST(CookieHelpersTest, NamesAndItems) {
  EXPECT_EQ(CookieName(" sid =x"), "sid");
  EXPECT_EQ(CookieName(" secure "), "secure");
  EXPECT_EQ(CookieName("a=b=c"), "a");
  EXPECT_EQ(CookieName(""), "");

  const TextList items = {"a=1", "B=2", "flag"};
  EXPECT_TRUE(HasCookieName(items, "B"));
  EXPECT_TRUE(HasCookieName(items, "flag"));
  EXPECT_FALSE(HasCookieName(items, "b"));
  EXPECT_FALSE(HasCookieName({}, ""));
  EXPECT_EQ(IndexOfText(items, "B=2"), 2);
  EXPECT_EQ(IndexOfText(items, "B"), -1);
  EXPECT_EQ(IndexOfText({}, ""), -1);

  EXPECT_EQ(RemoveDuplicateItems("a; b; a; c; b", "; "), "a; b; c");
  EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
  EXPECT_EQ(RemoveDuplicateItems("a;; ;a", ";"), "a;; ");
  EXPECT_EQ(RemoveDuplicateItems("a,b", ""), "a,b");
}

TEST(SetCookieTest, HeaderBlockToCookieText) {
  struct Case {
    const char* block;
    const char* expected;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/; HttpOnly\r\nContent-Type: "
       "text/html\r\n\r\n",
       "sid=abc"},
      {"HTTP/1.1 200 OK\r\nset-cookie: sid=abc\r\n\r\n", "sid=abc"},
      {"HTTP/1.1 200 OK\r\nSET-COOKIE:a=1;Path=/\r\nSet-Cookie:  b=2 \r\n", "a=1; b=2"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
      {"", ""},
      // Without the colon: an empty item when the line holds ";", else the whole line.
      {"Set-Cookie a=1; path=/\r\nSet-Cookie: b=2\r\n", "; b=2"},
      {"X-Set-Cookie a=1\r\n", "X-Set-Cookie a=1"},
      {"Set-Cookie: BDCLND=x%2By; expires=Thu, 01 Jan 2099 00:00:00 GMT", "BDCLND=x%2By"},
      // Lines end at CR LF only.
      {"Set-Cookie: a=1\nSet-Cookie: b=2", "a=1\n b=2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CookiesFromHeaderBlock(NormalizeSetCookieNames(c.block)), c.expected) << c.block;
  }
}

TEST(SetCookieTest, NormalizeNames) {
  EXPECT_EQ(NormalizeSetCookieNames("set-cookie: a\r\nSET-COOKIE: b\r\nSet-Cookie2: c"),
            "Set-Cookie: a\r\nSet-Cookie: b\r\nSet-Cookie2: c");
  EXPECT_EQ(NormalizeSetCookieNames(""), "");
}

}  // namespace
}  // namespace morvane
