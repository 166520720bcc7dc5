#include "resolvers/chengtong.h"

#include <gtest/gtest.h>

#include "resolver_test_support.h"

namespace morvane {
namespace {

using emulator::EmulatorOptions;
using emulator::ServiceEmulator;
using testing::EmulatorSettings;
using testing::HasHeaderLinesInOrder;
using testing::RecordingWindow;

// The fetcher's default lines, with the requested address as Referer.
std::vector<std::string> DefaultLines(const std::string& url) {
  return {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
          "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
          "Content-Type: application/x-www-form-urlencoded"};
}

class ChengtongTest : public ::testing::TestWithParam<bool> {};

// The click handler reads the box, and both requests go to the share's own
// scheme and host; the user id and the free_down call stand on different lines.
TEST_P(ChengtongTest, ResolvesShareThroughItsOwnHost) {
  bool https = GetParam();
  ServiceEmulator emulator;
  ASSERT_TRUE(emulator.Running());
  auto share = emulator.Chengtong();
  auto shareUrl = emulator.ChengtongShareUrl(ServiceEmulator::kChengtongShareId, https);
  RecordingWindow window;
  window.SetControlText(controls::kChengtongAddress, shareUrl);

  OnResolveChengtong(window, EmulatorSettings(emulator));

  EXPECT_EQ(window.ControlText(controls::kChengtongResult), share.downloadUrl);
  EXPECT_TRUE(window.MessageBoxes().empty());
  auto requests = emulator.Requests();
  ASSERT_EQ(requests.size(), 2u);
  auto scheme = https ? "https" : "http";
  EXPECT_EQ(requests[0].scheme, scheme);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/file/" + std::string(ServiceEmulator::kChengtongShareId));
  EXPECT_TRUE(HasHeaderLinesInOrder(requests[0], DefaultLines(shareUrl)));
  auto apiTarget = "/get_file_url.php?uid=" + share.uid + "&fid=" + share.fid +
                   "&file_chk=" + share.fileChk + "&verifycode=";
  EXPECT_EQ(requests[1].scheme, scheme);
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, apiTarget);
  auto apiUrl = (https ? emulator.HttpsBase() : emulator.HttpBase()) + apiTarget;
  EXPECT_TRUE(HasHeaderLinesInOrder(requests[1], DefaultLines(apiUrl)));
  for (const auto& request : requests) {
    EXPECT_EQ(request.HeaderCount("User-Agent"), 1);
    EXPECT_FALSE(request.HasHeader("Cookie")) << request.target;
  }
}

INSTANTIATE_TEST_SUITE_P(Schemes, ChengtongTest, ::testing::Values(true, false),
                         [](const auto& testInfo) { return testInfo.param ? "Https" : "Http"; });

struct FailureCase {
  const char* name;
  EmulatorOptions options;
  bool unreachableSharePage;
  bool noPathAfterHost;
  const char* interfaceTarget;  // nullptr: the interface is never reached
};

// Every failure runs the remaining steps with what it has, and ends with an
// empty result that replaces the box's previous text.
TEST(ChengtongFailureTest, EmptiesResultBox) {
  const std::string emptyValues = "/get_file_url.php?uid=&fid=&file_chk=&verifycode=";
  const FailureCase cases[] = {
      {"page without values",
       {.chengtongPageWithoutValues = true},
       false,
       false,
       emptyValues.c_str()},
      {"answer without downurl", {.chengtongAnswerWithoutDownurl = true}, false, false, ""},
      {"unreachable share page", {}, true, false, nullptr},
      {"no path after the host", {}, false, true, nullptr},
  };
  for (const auto& failure : cases) {
    SCOPED_TRACE(failure.name);
    ServiceEmulator emulator(failure.options);
    ASSERT_TRUE(emulator.Running());
    auto shareUrl = emulator.ChengtongShareUrl();
    if (failure.unreachableSharePage) {
      shareUrl = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/file/x";
    }
    if (failure.noPathAfterHost) shareUrl = emulator.HttpsBase();
    RecordingWindow window;
    window.SetControlText(controls::kChengtongAddress, shareUrl);
    window.SetControlText(controls::kChengtongResult, "earlier result");

    OnResolveChengtong(window, EmulatorSettings(emulator));

    EXPECT_EQ(window.ControlText(controls::kChengtongResult), "");
    EXPECT_TRUE(window.MessageBoxes().empty());
    auto interface = emulator.RequestsTo("/get_file_url.php");
    if (failure.interfaceTarget == nullptr) {
      EXPECT_TRUE(interface.empty());
    } else {
      ASSERT_EQ(interface.size(), 1u);
      if (*failure.interfaceTarget != '\0') {
        EXPECT_EQ(interface[0].target, failure.interfaceTarget);
      }
    }
  }
}

}  // namespace
}  // namespace morvane
