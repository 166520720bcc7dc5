#include "script/json_object.h"

#include <gtest/gtest.h>

#include <cmath>
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

class BaiduDataTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(json_.Parse(ReadFixture("baidu_share_data.json"))); }
  JsonObject json_;
};

TEST_F(BaiduDataTest, GetTextByPath) {
  const struct {
    const char* path;
    bool asJson;
    Text expected;
  } cases[] = {
      {"sign", false, "a1b2c3d4e5"},
      {"sign", true, "\"a1b2c3d4e5\""},
      {"timestamp", false, "1700000000"},
      {"uk", false, "1234567890123"},
      {"file_list.list[0].fs_id", false, "1.234567890123e+015"},
      {"file_list.list[0].fs_id", true, "1234567890123456"},
      {"file_list.list[0].path", false, G("/我的资源/资料包.zip")},
      {"file_list.list[0].path", true, G("\"/我的资源/资料包.zip\"")},
      {"file_list.list[0].isdir", false, "0"},
      {"file_list.list[1].isdir", false, "-1"},
      {"file_list.list[0].isdir", true, "false"},
      {"self", true, "true"},
      {"file_list.list[0].size", false, "12.5"},
      {"file_list.errno", false, "0"},
      {"file_list.list[1].path", false, "/b"},
      {"bdstoken", false, ""},
      {"bdstoken", true, "null"},
      {"note", false, G("他说\"好\"\n")},
      {"note", true, G("\"他说\\\"好\\\"\\n\"")},
      {"tags[1]", false, "b"},
      {"file_list.list", true,
       G(R"([{"app_id":"250528","fs_id":1234567890123456,)"
         R"("path":"/我的资源/资料包.zip","isdir":false,"size":12.5,)"
         R"("category":6},{"fs_id":2,"path":"/b","isdir":true}])")},
      {"empty", true, "{}"},
      // Nothing there, or a path that cannot be read.
      {"missing", false, ""},
      {"missing", true, ""},
      {"missing.deeper", false, ""},
      {"bdstoken.deeper", false, ""},
      {"file_list.list[5].path", false, ""},
      {"tags[-1]", false, ""},
      {"[0]", false, ""},
      {"", false, ""},
      {"file_list..list", false, ""},
      {"file_list.list[0", false, ""},
      {"file_list.list[x]", false, ""},
      {"file_list.list.0", false, ""},
      {"sign()", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json_.GetText(c.path, c.asJson), c.expected) << c.path << " asJson=" << c.asJson;
  }
}

TEST_F(BaiduDataTest, KindsCountsAndKeys) {
  const struct {
    const char* path;
    int type;
    int count;
    std::vector<Text> keys;
  } cases[] = {
      {"",
       kJsonObject,
       10,
       {"sign", "timestamp", "bdstoken", "uk", "shareid", "file_list", "self", "empty", "tags",
        "note"}},
      {"sign", kJsonString, 0, {}},
      {"uk", kJsonNumber, 0, {}},
      {"file_list", kJsonObject, 2, {"errno", "list"}},
      {"file_list.list", kJsonArray, 2, {"0", "1"}},
      {"tags", kJsonArray, 4, {"0", "1", "2", "3"}},
      {"empty", kJsonObject, 0, {}},
      {"self", kJsonOther, 0, {}},
      {"bdstoken", kJsonNull, 0, {}},
      {"missing", kJsonNull, 0, {}},
      {"file_list.list[9]", kJsonNull, 0, {}},
      {"missing.deeper", kJsonOther, 0, {}},
      {"file_list.list[9].path", kJsonOther, 0, {}},
      {"[0]", kJsonOther, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(json_.GetType(c.path), c.type);
    EXPECT_EQ(json_.MemberCount(c.path), c.count);
    TextList keys = {"stale"};
    EXPECT_EQ(json_.ListKeys(keys, c.path), static_cast<int>(c.keys.size()));
    EXPECT_EQ(keys, c.keys);
  }
}

TEST_F(BaiduDataTest, NumbersFlagsAndJsonOfMembers) {
  EXPECT_EQ(json_.GetNumber("uk"), 1234567890123.0);
  EXPECT_EQ(json_.GetNumber("file_list.list[0].size"), 12.5);
  EXPECT_EQ(json_.GetNumber("file_list.list[0].app_id"), 250528.0);  // a number in a string
  EXPECT_EQ(json_.GetNumber("self"), -1.0);
  EXPECT_EQ(json_.GetNumber("sign"), 0.0);
  EXPECT_EQ(json_.GetNumber("missing.deeper"), 0.0);

  EXPECT_TRUE(json_.HasMember("sign"));
  EXPECT_TRUE(json_.HasMember("file_list.list[1]"));
  EXPECT_FALSE(json_.HasMember("bdstoken"));
  EXPECT_FALSE(json_.HasMember("missing"));
  EXPECT_FALSE(json_.HasMember("missing.deeper"));
  EXPECT_FALSE(json_.HasMember(""));

  EXPECT_EQ(json_.GetMemberJson("file_list.list[1]"), R"({"fs_id":2,"path":"/b","isdir":true})");
  EXPECT_EQ(json_.GetMemberJson("[0]"), "");
}

TEST_F(BaiduDataTest, SubObjectsAndElements) {
  const JsonObject fileList = json_.GetSubObject("file_list");
  EXPECT_EQ(fileList.GetText("list[0].path"), json_.GetText("file_list.list[0].path"));
  EXPECT_EQ(fileList.GetType(), kJsonObject);

  const JsonObject missing = json_.GetSubObject("missing");
  EXPECT_EQ(missing.GetType(), kJsonNull);
  EXPECT_EQ(missing.ToJsonText(), "");
  EXPECT_EQ(json_.GetSubObject("bdstoken").ToJsonText(), "null");

  const JsonObject second = json_.GetElementObject(1, "file_list.list");
  EXPECT_EQ(second.GetText("path"), "/b");
  EXPECT_EQ(json_.GetElementObject(5, "file_list.list").ToJsonText(), "");
  EXPECT_EQ(fileList.GetSubObject("list").GetElementObject(0).GetText("app_id"), "250528");

  EXPECT_EQ(json_.GetElementText(0, "tags"), "a");
  EXPECT_EQ(json_.GetElementText(3, "tags", true), "\"d\"");
  EXPECT_EQ(json_.GetElementText(4, "tags"), "");
  EXPECT_EQ(json_.GetElementText(-1, "tags"), "");
  EXPECT_EQ(json_.GetElementText(0, "missing"), "");
}

TEST(JsonObjectTest, NumberForms) {
  JsonObject json;
  ASSERT_TRUE(json.Parse(R"({"a":1234567890123,"b":1234567890123456,"c":1.5,"d":0,)"
                         R"("e":12345678901234,"f":-0.00001234,"g":1e21,"h":2.0,"i":1e2,)"
                         R"("j":18446744073709551615,"k":-42,"l":0.1})"));
  const struct {
    const char* path;
    Text text;
    Text jsonText;
  } cases[] = {
      {"a", "1234567890123", "1234567890123"},
      {"b", "1.234567890123e+015", "1234567890123456"},
      {"c", "1.5", "1.5"},
      {"d", "0", "0"},
      {"e", "1.234567890123e+013", "12345678901234"},
      {"f", "-1.234e-005", "-0.00001234"},
      {"g", "1e+021", "1e+21"},
      {"h", "2", "2"},
      {"i", "100", "100"},
      {"j", "1.844674407371e+019", "18446744073709551615"},
      {"k", "-42", "-42"},
      {"l", "0.1", "0.1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json.GetText(c.path), c.text) << c.path;
    EXPECT_EQ(json.GetText(c.path, true), c.jsonText) << c.path;
  }

  // A path that begins with an element number reads numbers in script form.
  JsonObject array;
  ASSERT_TRUE(array.Parse("[1234567890123456,0.5e-7,[2.50]]"));
  EXPECT_EQ(array.GetText("[0]"), "1234567890123456");
  EXPECT_EQ(array.GetText("[1]"), "5e-8");
  EXPECT_EQ(array.GetText("[2][0]"), "2.5");

  JsonObject set;
  set.SetMemberNumber("big", 12345678901234.0);  // written with 13 digits
  set.SetMemberNumber("half", 1.5);
  set.SetMemberNumber("tiny", 0.000012345);
  set.SetMemberNumber("nan", std::nan(""));
  set.SetMemberNumber("inf", INFINITY);
  EXPECT_EQ(set.ToJsonText(), R"({"big":12345678901230,"half":1.5,"tiny":0.000012345})");
}

TEST(JsonObjectTest, ParseResults) {
  const struct {
    Text text;
    bool parsed;
  } cases[] = {
      {"", false},
      {"null", false},
      {" \r\n null \t", false},
      {"nul", false},
      {"{", false},
      {R"({"a":1,})", false},
      {R"({"a":1} x)", false},
      {R"({a:1})", false},
      {"{'a':1}", false},
      {"// comment\n{}", false},
      {"1+1", false},
      {"(function(){})()", false},
      {"alert(document.cookie)", false},
      {"\xFF\xFE{}", false},
      {"0", true},
      {"false", true},
      {"\"x\"", true},
      {"[]", true},
      {" {} ", true},
      {G("{\"名\":\"值\"}"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    JsonObject json;
    EXPECT_EQ(json.Parse(c.text), c.parsed);
    if (!c.parsed) {
      EXPECT_EQ(json.GetText("a"), "");
      EXPECT_EQ(json.MemberCount(), 0);
      EXPECT_EQ(json.ToJsonText(), c.text.empty() ? "" : "null");
      EXPECT_EQ(json.GetType(""), kJsonNull);
      EXPECT_EQ(json.GetType("a"), kJsonOther);
    }
  }
  JsonObject chinese;
  ASSERT_TRUE(chinese.Parse(G("{\"名\":\"值\",\"k\":\"\\u4e2d\\/\"}")));
  EXPECT_EQ(chinese.GetText(G("名")), G("值"));
  EXPECT_EQ(chinese.GetText("k"), G("中/"));
}

TEST(JsonObjectTest, SecondParseReplacesTheFirst) {
  JsonObject json;
  ASSERT_TRUE(json.Parse(R"({"a":1,"b":2})"));
  ASSERT_TRUE(json.Parse(R"({"c":3})"));
  EXPECT_EQ(json.GetText("a"), "");
  TextList keys;
  EXPECT_EQ(json.ListKeys(keys), 1);
  EXPECT_EQ(keys, TextList{"c"});
  EXPECT_FALSE(json.Parse("oops"));
  EXPECT_EQ(json.GetText("c"), "");
}

TEST(JsonObjectTest, RepeatedNamesKeepPlaceAndTakeLastValue) {
  JsonObject json;
  ASSERT_TRUE(json.Parse(R"({"a":1,"b":2,"a":3})"));
  EXPECT_EQ(json.ToJsonText(), R"({"a":3,"b":2})");
  // Past the size where names are indexed.
  std::string text = "{";
  for (int i = 0; i < 100; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += "\"k5\":\"again\"}";
  ASSERT_TRUE(json.Parse(text));
  EXPECT_EQ(json.MemberCount(), 100);
  EXPECT_EQ(json.GetText("k5"), "again");
  TextList keys;
  json.ListKeys(keys);
  EXPECT_EQ(keys[5], "k5");
}

TEST(JsonObjectTest, DeepNestingIsRejectedWithoutRecursion) {
  JsonObject json;
  EXPECT_FALSE(json.Parse(std::string(100000, '[')));
  EXPECT_FALSE(json.Parse(std::string(100000, '[') + std::string(100000, ']')));
  EXPECT_FALSE(json.Parse(std::string(513, '[') + std::string(513, ']')));
  ASSERT_TRUE(json.Parse(std::string(512, '[') + std::string(512, ']')));
  EXPECT_EQ(json.ToJsonText().size(), 1024u);
  // Brackets inside a string are text.
  EXPECT_TRUE(json.Parse("\"" + std::string(100000, '[') + "\""));
}

TEST(JsonObjectTest, LongObjectsParseInLinearTime) {
  std::string text = "{";
  for (int i = 0; i < 200000; ++i) {
    if (i > 0) text += ',';
    text += "\"member" + std::to_string(i) + "\":" + std::to_string(i);
  }
  text += "}";
  JsonObject json;
  ASSERT_TRUE(json.Parse(text));
  EXPECT_EQ(json.MemberCount(), 200000);
  EXPECT_EQ(json.GetText("member199999"), "199999");
}

// Values are stored, never run: the script-engine design pasted them into
// script text, so a page or a value could run code there.
TEST(JsonObjectTest, ValuesAreStoredLiterallyNeverEvaluated) {
  JsonObject json;
  const Text hostile = "x'; this.da = {}; alert(1); '";
  json.SetMember("v", hostile);
  json.SetMember("lines", "a\r\nb\\n</script>");
  EXPECT_EQ(json.GetText("v"), hostile);
  EXPECT_EQ(json.GetText("lines"), "a\r\nb\\n</script>");
  EXPECT_EQ(json.ToJsonText(),
            R"({"v":"x'; this.da = {}; alert(1); '","lines":"a\r\nb\\n</script>"})");

  // Script text given as JSON changes nothing.
  for (const char* script : {"1+1", "(function(){})()", "alert(1)", "{a:1}", "[1,"}) {
    json.SetMember("v", script, true);
    json.SetMemberJson("lines", script);
    json.Append(script, "", true);
    json.SetValue(script, true);
    json.SetElement(0, script, true);
  }
  EXPECT_EQ(json.GetText("v"), hostile);
  EXPECT_EQ(json.GetType(), kJsonObject);
  EXPECT_EQ(json.MemberCount(), 2);
}

TEST(JsonObjectTest, Setters) {
  JsonObject json;
  EXPECT_EQ(json.ToJsonText(), "{}");
  json.SetMember("a", "1");
  json.SetMember("b", "[1,\"x\"]", true);
  json.SetMember("c", "", true);
  json.SetMemberJson("c.d", "null");
  json.SetMember("missing.x", "1");
  json.SetMember("a.x", "1");  // a string has no members
  json.SetMember("", "1");
  json.SetMember("b[3]", "z");
  json.SetMember(G("中文"), G("值"));
  EXPECT_EQ(json.ToJsonText(), G(R"({"a":"1","b":[1,"x",null,"z"],"c":{"d":null},"中文":"值"})"));
  EXPECT_EQ(json.GetType("c.d"), kJsonNull);
  EXPECT_TRUE(json.HasMember(G("中文")));

  json.DeleteMember("a");
  json.DeleteMember("b[0]");  // leaves a hole
  json.DeleteMember("nothing");
  json.DeleteMember("nothing.deeper");
  EXPECT_EQ(json.ToJsonText(), G(R"({"b":[null,"x",null,"z"],"c":{"d":null},"中文":"值"})"));

  json.Append("x", "c");  // an object is replaced by an array first
  json.Append("2", "c", true);
  json.Append("y", "new");
  json.Append("z", "c.d.e");  // through null: nothing
  EXPECT_EQ(json.GetText("c", true), R"(["x",2])");
  EXPECT_EQ(json.GetText("new", true), R"(["y"])");
  EXPECT_EQ(json.MemberCount(), 4);
}

TEST(JsonObjectTest, WholeValueOperations) {
  JsonObject json;
  ASSERT_TRUE(json.Parse(R"({"a":1})"));
  json.Append("x");
  EXPECT_EQ(json.ToJsonText(), R"(["x"])");
  json.Append("1", "", true);
  json.SetElement(1, "b");
  json.SetElement(3, "{\"k\":true}", true);
  EXPECT_EQ(json.ToJsonText(), R"(["x","b",null,{"k":true}])");
  json.RemoveElement(0);
  json.RemoveElement(-1);
  json.RemoveElement(9);
  EXPECT_EQ(json.ToJsonText(), R"(["b",null])");
  EXPECT_EQ(json.GetType(), kJsonArray);

  json.Reset(3);
  EXPECT_EQ(json.ToJsonText(), R"(["b",null])");
  json.Reset(5);
  EXPECT_EQ(json.ToJsonText(), "[]");
  json.Reset(0);
  EXPECT_EQ(json.ToJsonText(), "{}");
  json.SetElement(2, "on an object");
  EXPECT_EQ(json.GetText("[2]"), "on an object");
  json.RemoveElement(0);  // not an array: nothing
  EXPECT_EQ(json.MemberCount(), 1);

  json.SetValue("abc");
  EXPECT_EQ(json.ToJsonText(), "\"abc\"");
  EXPECT_EQ(json.GetType(), kJsonString);
  json.SetValue(R"({"k":[1]})", true);
  EXPECT_EQ(json.GetText("k[0]"), "1");
  json.Clear();
  EXPECT_EQ(json.ToJsonText(), "{}");

  ASSERT_FALSE(json.Parse(""));
  json.Append("after nothing");
  EXPECT_EQ(json.ToJsonText(), R"(["after nothing"])");
}

TEST(JsonObjectTest, StringsAreEscapedAsJson2Does) {
  JsonObject json;
  json.SetValue(G("a/b \"q\" \\ \t\n\r\b\f \x01\x1F\x7F 中"));
  EXPECT_EQ(json.ToJsonText(), G(R"("a/b \"q\" \\ \t\n\r\b\f \u0001\u001f\u007f 中")"));
  // Invisible characters and line separators are escaped as well; characters
  // that GBK lacks read back as "?".
  ASSERT_TRUE(json.Parse(R"({"s":"\u2028\u200d\ufeff","e":"\ud83d\ude00"})"));
  EXPECT_EQ(json.ToJsonText(), R"({"s":"\u2028\u200d\ufeff","e":"?"})");
  EXPECT_EQ(json.GetText("e"), "?");
}

TEST(JsonObjectTest, CopiesHoldTheirOwnValue) {
  JsonObject original;
  ASSERT_TRUE(original.Parse(R"({"a":1})"));
  JsonObject copy(original);
  copy.SetMember("b", "2");
  JsonObject assigned;
  assigned = original;
  original.Clear();
  EXPECT_EQ(copy.ToJsonText(), R"({"a":1,"b":"2"})");
  EXPECT_EQ(assigned.ToJsonText(), R"({"a":1})");
  JsonObject moved(std::move(assigned));
  EXPECT_EQ(moved.GetText("a"), "1");
}

}  // namespace
}  // namespace morvane
