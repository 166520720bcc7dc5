#include "resolvers/baidu.h"

#include <gtest/gtest.h>

#include "resolver_test_support.h"

namespace morvane {
namespace {

using emulator::EmulatorOptions;
using emulator::RecordedRequest;
using emulator::ServiceEmulator;
using testing::EmulatorSettings;
using testing::HasHeaderLinesInOrder;
using testing::kResolveFailedGbk;
using testing::RecordingWindow;

std::string InterfaceTargetStart(const emulator::BaiduShare& share) {
  return "/api/sharedownload?sign=" + share.sign + "&timestamp=" + share.timestamp +
         "&bdstoken=" + share.bdstoken +
         "&channel=chunlei&clienttype=0&web=1&app_id=" + share.appId + "&logid=";
}

std::string Form(const emulator::BaiduShare& share, const std::string& extra) {
  return "encrypt=0&product=share&uk=" + share.uk + "&primaryid=" + share.shareid +
         "&vcode_input=&vcode_str=&extra=" + extra + "&fid_list=%5B" + share.fsId + "%5D";
}

// The log id closes the query: 44 characters of Base64, sent unencoded.
void ExpectInterfaceTarget(const RecordedRequest& request, const std::string& start) {
  ASSERT_EQ(request.target.substr(0, start.size()), start);
  auto logId = request.target.substr(start.size());
  EXPECT_EQ(logId.size(), 44u) << logId;
  EXPECT_EQ(
      logId.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
      std::string::npos)
      << logId;
}

// The share page twice (the first only for its cookies), then the interface
// with the first file's values; the link comes back with its "\/" unescaped.
TEST(BaiduTest, ResolvesFirstFileOfShare) {
  ServiceEmulator emulator;
  ASSERT_TRUE(emulator.Running());
  auto share = emulator.Baidu();
  auto shareUrl = emulator.BaiduShareUrl();
  BaiduResolver resolver(EmulatorSettings(emulator));
  RecordingWindow window;
  window.SetControlText(controls::kBaiduAddress, shareUrl);

  OnResolveBaidu(window, resolver);

  EXPECT_EQ(window.ControlText(controls::kBaiduResult), share.downloadUrl);
  EXPECT_TRUE(window.MessageBoxes().empty());
  auto requests = emulator.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (int i : {0, 1}) {
    EXPECT_EQ(requests[i].method, "GET");
    EXPECT_EQ(requests[i].target, "/s/1" + std::string(ServiceEmulator::kBaiduShareId));
    EXPECT_TRUE(HasHeaderLinesInOrder(
        requests[i],
        {"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; "
         "Trident/5.0)",
         "Accept: text/html, application/xhtml+xml, */*", "Accept-Encoding: gbk, GB2312",
         "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded",
         "Cache-Control: no-cache"}));
  }
  // A first resolve has no cookies to send; the second visit sends the
  // service's id cut off before its "FG=1".
  EXPECT_FALSE(requests[0].HasHeader("Cookie"));
  auto baiduId = requests[1].Cookies();
  EXPECT_EQ(baiduId.rfind("BAIDUID=", 0), 0u) << baiduId;
  EXPECT_EQ(baiduId.back(), ':') << baiduId;

  const auto& interface = requests[2];
  EXPECT_EQ(interface.scheme, "http");
  EXPECT_EQ(interface.method, "POST");
  ExpectInterfaceTarget(interface, InterfaceTargetStart(share));
  EXPECT_EQ(interface.body, Form(share, ""));
  EXPECT_EQ(interface.Header("Referer"), shareUrl);
  EXPECT_EQ(interface.Cookies(), "PANWEB=1; " + baiduId);
  EXPECT_EQ(resolver.cookies(), interface.Cookies());
  EXPECT_TRUE(emulator.RequestsTo("/baidu-file/").empty());
}

// A later resolve starts with the cookies the earlier one gathered.
TEST(BaiduTest, SecondResolveSendsCookiesOfFirst) {
  ServiceEmulator emulator;
  ASSERT_TRUE(emulator.Running());
  BaiduResolver resolver(EmulatorSettings(emulator));
  RecordingWindow window;

  EXPECT_EQ(resolver.ResolveBaiduLink(emulator.BaiduShareUrl(), window),
            emulator.Baidu().downloadUrl);
  auto gathered = resolver.cookies();
  ASSERT_FALSE(gathered.empty());
  emulator.ClearRequests();
  const std::string otherId = "OtherShare42";
  EXPECT_EQ(resolver.ResolveBaiduLink(emulator.BaiduShareUrl(otherId), window),
            emulator.Baidu(otherId).downloadUrl);

  auto requests = emulator.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Cookies(), gathered);
  EXPECT_TRUE(window.Events().empty());
}

// A password-protected share: the BDCLND value the service set goes out as the
// sekey of "extra", unencoded; also on a second resolve, where the service's
// cookie answer leaves BDCLND as the last item of the kept cookies.
TEST(BaiduTest, PassesBdclndCookieAsSekey) {
  ServiceEmulator emulator({.baiduSetsBdclnd = true});
  ASSERT_TRUE(emulator.Running());
  auto share = emulator.Baidu();
  BaiduResolver resolver(EmulatorSettings(emulator));
  RecordingWindow window;

  for (int resolve = 1; resolve <= 2; ++resolve) {
    SCOPED_TRACE(resolve);
    emulator.ClearRequests();
    EXPECT_EQ(resolver.ResolveBaiduLink(emulator.BaiduShareUrl(), window), share.downloadUrl);
    auto interface = emulator.RequestsTo("/api/sharedownload");
    ASSERT_EQ(interface.size(), 1u);
    EXPECT_EQ(interface[0].body, Form(share, "{\"sekey\":\"" + share.bdclnd + "\"}"));
  }
  EXPECT_TRUE(window.Events().empty());
}

// Unreadable page data is told once, and the interface is still asked, with
// empty values; every failure ends with an empty result in the box.
TEST(BaiduFailureTest, EmptiesResultBox) {
  struct Case {
    const char* name;
    EmulatorOptions options;
    bool unreachableSharePage;
    bool expectMessage;
  };
  const Case cases[] = {
      {"page without data", {.baiduPageWithoutData = true}, false, true},
      {"unreachable share page", {}, true, true},
      {"answer without dlink", {.baiduAnswerWithoutDlink = true}, false, false},
  };
  for (const auto& failure : cases) {
    SCOPED_TRACE(failure.name);
    ServiceEmulator emulator(failure.options);
    ASSERT_TRUE(emulator.Running());
    auto shareUrl = failure.unreachableSharePage
                        ? "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/s/1x"
                        : emulator.BaiduShareUrl();
    BaiduResolver resolver(EmulatorSettings(emulator));
    RecordingWindow window;
    window.SetControlText(controls::kBaiduAddress, shareUrl);
    window.SetControlText(controls::kBaiduResult, "earlier result");

    OnResolveBaidu(window, resolver);

    EXPECT_EQ(window.ControlText(controls::kBaiduResult), "");
    auto boxes = window.MessageBoxes();
    ASSERT_EQ(boxes.size(), failure.expectMessage ? 1u : 0u);
    if (failure.expectMessage) {
      EXPECT_EQ(boxes[0].text, kResolveFailedGbk);
      EXPECT_EQ(boxes[0].title, "");
    }
    auto interface = emulator.RequestsTo("/api/sharedownload");
    ASSERT_EQ(interface.size(), 1u);
    if (failure.expectMessage) {
      emulator::BaiduShare empty;
      ExpectInterfaceTarget(interface[0], InterfaceTargetStart(empty));
      EXPECT_EQ(interface[0].body, Form(empty, ""));
    }
  }
}

TEST(BaiduResolverTest, RemoveSlashesDropsOneKindOfSlash) {
  BaiduResolver resolver({});
  struct Case {
    const char* text;
    bool forwardSlash;
    const char* expected;
  };
  const Case cases[] = {
      {R"(http:\/\/d.example\/file\/a?b=c)", false, "http://d.example/file/a?b=c"},
      {R"(a\\b\/c)", false, "ab/c"},
      {R"(http:\/\/d.example\/)", true, R"(http:\\d.example\)"},
      {"", false, ""},
  };
  for (const auto& example : cases) {
    EXPECT_EQ(resolver.RemoveSlashes(example.text, example.forwardSlash), example.expected)
        << example.text;
  }
}

}  // namespace
}  // namespace morvane
