#include "resolvers/lanzou.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "resolver_test_support.h"

namespace morvane {
namespace {

using emulator::EmulatorOptions;
using emulator::ServiceEmulator;
using testing::EmulatorSettings;
using testing::HasHeaderLinesInOrder;
using testing::kResolveFailedGbk;
using testing::RecordingWindow;

constexpr const char* kChromeUserAgent =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/55.0.2883.87 Safari/537.36";
constexpr const char* kMsieUserAgent =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

class LanzouTest : public ::testing::TestWithParam<bool> {};

// Four requests: the share page where the address points, the frame page and
// the interface on the configured host over https, and the /file/ redirect,
// whose target is delivered and never fetched.
TEST_P(LanzouTest, ResolvesThroughFrameInterfaceAndRedirect) {
  bool https = GetParam();
  ServiceEmulator emulator;
  ASSERT_TRUE(emulator.Running());
  auto share = emulator.Lanzou();
  auto shareUrl = emulator.LanzouShareUrl(ServiceEmulator::kLanzouShareId, https);
  RecordingWindow window;

  ResolveLanzouLink(shareUrl, window, EmulatorSettings(emulator));

  ASSERT_EQ(window.Events().size(), 1u);
  EXPECT_FALSE(window.Events()[0].messageBox);
  EXPECT_EQ(window.ControlText(controls::kLanzouResult), share.downloadUrl);

  auto requests = emulator.Requests();
  ASSERT_EQ(requests.size(), 4u);
  const auto& sharePage = requests[0];
  EXPECT_EQ(sharePage.scheme, https ? "https" : "http");
  EXPECT_EQ(sharePage.target, "/" + std::string(ServiceEmulator::kLanzouShareId));
  EXPECT_TRUE(HasHeaderLinesInOrder(
      sharePage, {kChromeUserAgent, "Accept: */*", "Referer: " + shareUrl, "Accept-Language: zh-cn",
                  "Content-Type: application/x-www-form-urlencoded"}));

  auto frameUrl = emulator.HttpsBase() + "/" + share.framePath;
  const auto& framePage = requests[1];
  EXPECT_EQ(framePage.scheme, "https");
  EXPECT_EQ(framePage.method, "GET");
  EXPECT_EQ(framePage.target, "/" + share.framePath);
  EXPECT_TRUE(HasHeaderLinesInOrder(
      framePage, {kChromeUserAgent, "Accept: */*", "Referer: " + frameUrl, "Accept-Language: zh-cn",
                  "Content-Type: application/x-www-form-urlencoded"}));

  const auto& interface = requests[2];
  EXPECT_EQ(interface.scheme, "https");
  EXPECT_EQ(interface.method, "POST");
  EXPECT_EQ(interface.target, "/ajaxm.php");
  EXPECT_EQ(interface.body, "action=" + share.action + "&file_id=" + share.fileId +
                                "&t=" + share.t + "&k=" + share.k);
  EXPECT_TRUE(HasHeaderLinesInOrder(
      interface, {"Referer: " + frameUrl, "Accept: */*", "Accept-Language: zh-cn", kMsieUserAgent,
                  "Content-Type: application/x-www-form-urlencoded"}));

  const auto& redirect = requests[3];
  EXPECT_EQ(redirect.method, "GET");
  EXPECT_EQ(redirect.target, "/file/" + share.url);
  EXPECT_TRUE(redirect.HasHeaderLine("Referer: " + share.dom + "/file/" + share.url));

  for (const auto& request : requests) {
    EXPECT_EQ(request.HeaderCount("User-Agent"), 1) << request.target;
    EXPECT_FALSE(request.HasHeader("Cookie")) << request.target;
  }
  EXPECT_TRUE(emulator.RequestsTo("/download/").empty());
}

INSTANTIATE_TEST_SUITE_P(ShareSchemes, LanzouTest, ::testing::Values(true, false),
                         [](const auto& testInfo) { return testInfo.param ? "Https" : "Http"; });

// Without a frame the user is told once and the box keeps its text; every later
// failure is silent and empties the box.
TEST(LanzouFailureTest, ReportsMissingFrameAndEmptiesBoxOtherwise) {
  struct Case {
    const char* name;
    EmulatorOptions options;
    bool unreachableSharePage;
    bool expectMessage;
    int expectedRequests;
    const char* expectedForm;  // nullptr: no POST
    bool expectRedirectRequest;
  };
  const Case cases[] = {
      {"page without frame", {.lanzouPageWithoutFrame = true}, false, true, 1, nullptr, false},
      {"unreachable share page", {}, true, true, 0, nullptr, false},
      {"frame without values",
       {.lanzouFrameWithoutValues = true},
       false,
       false,
       3,
       "action=&file_id=&t=&k=",
       false},
      {"answer without dom", {.lanzouAnswerWithoutDom = true}, false, false, 3, "", false},
      {"answer without url", {.lanzouAnswerWithoutUrl = true}, false, false, 4, "", true},
      {"redirect without Location", {.lanzouFileWithoutLocation = true}, false, false, 4, "", true},
  };
  for (const auto& failure : cases) {
    SCOPED_TRACE(failure.name);
    ServiceEmulator emulator(failure.options);
    ASSERT_TRUE(emulator.Running());
    auto shareUrl = failure.unreachableSharePage
                        ? "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/iAbc"
                        : emulator.LanzouShareUrl();
    RecordingWindow window;
    window.SetControlText(controls::kLanzouResult, "earlier result");

    ResolveLanzouLink(shareUrl, window, EmulatorSettings(emulator));

    auto events = window.Events();
    ASSERT_EQ(events.size(), 1u);
    if (failure.expectMessage) {
      EXPECT_TRUE(events[0].messageBox);
      EXPECT_EQ(events[0].text, kResolveFailedGbk);
      EXPECT_EQ(events[0].title, "");
      EXPECT_EQ(window.ControlText(controls::kLanzouResult), "earlier result");
    } else {
      EXPECT_FALSE(events[0].messageBox);
      EXPECT_EQ(events[0].control, controls::kLanzouResult);
      EXPECT_EQ(window.ControlText(controls::kLanzouResult), "");
    }
    EXPECT_EQ(emulator.Requests().size(), static_cast<size_t>(failure.expectedRequests));
    auto posts = emulator.RequestsTo("/ajaxm.php");
    if (failure.expectedForm == nullptr) {
      EXPECT_TRUE(posts.empty());
    } else if (*failure.expectedForm != '\0') {
      ASSERT_EQ(posts.size(), 1u);
      EXPECT_EQ(posts[0].body, failure.expectedForm);
    }
    EXPECT_EQ(emulator.RequestsTo("/file/").size(), failure.expectRedirectRequest ? 1u : 0u);
    EXPECT_TRUE(emulator.RequestsTo("/download/").empty());
  }
}

// Two clicks with different addresses: each thread resolves the address of its
// own click, although the box and the stored address moved on.
TEST(LanzouClickTest, TwoClicksResolveTheirOwnAddressesSideBySide) {
  ServiceEmulator emulator({.delay = std::chrono::milliseconds(50)});
  ASSERT_TRUE(emulator.Running());
  auto window = std::make_shared<RecordingWindow>();
  LanzouClickHandler handler;
  const std::string firstId = "iFirst0001";
  const std::string secondId = "iSecond0002";

  window->SetControlText(controls::kLanzouAddress, emulator.LanzouShareUrl(firstId));
  handler.OnResolveLanzou(window, EmulatorSettings(emulator));
  window->SetControlText(controls::kLanzouAddress, emulator.LanzouShareUrl(secondId));
  handler.OnResolveLanzou(window, EmulatorSettings(emulator));
  EXPECT_EQ(handler.lanzouAddress(), emulator.LanzouShareUrl(secondId));
  window->SetControlText(controls::kLanzouAddress, "");

  ASSERT_TRUE(window->WaitForEvents(2));
  auto events = window->Events();
  ASSERT_EQ(events.size(), 2u);
  std::set<Text> written;
  for (const auto& event : events) {
    EXPECT_FALSE(event.messageBox);
    written.insert(event.text);
  }
  EXPECT_EQ(written, (std::set<Text>{emulator.Lanzou(firstId).downloadUrl,
                                     emulator.Lanzou(secondId).downloadUrl}));
  // The box ends with the result of the call that finished last.
  EXPECT_EQ(window->ControlText(controls::kLanzouResult), events.back().text);
  EXPECT_EQ(emulator.RequestsTo("/" + firstId).size(), 1u);
  EXPECT_EQ(emulator.RequestsTo("/" + secondId).size(), 1u);
  EXPECT_EQ(emulator.RequestsTo("/ajaxm.php").size(), 2u);

  handler.Release();
  EXPECT_EQ(handler.lanzouAddress(), "");
}

TEST(LanzouClickTest, MissingFrameShowsMessageFromWorker) {
  ServiceEmulator emulator({.lanzouPageWithoutFrame = true});
  ASSERT_TRUE(emulator.Running());
  auto window = std::make_shared<RecordingWindow>();
  window->SetControlText(controls::kLanzouAddress, emulator.LanzouShareUrl());
  LanzouClickHandler handler;

  handler.OnResolveLanzou(window, EmulatorSettings(emulator));

  ASSERT_TRUE(window->WaitForEvents(1));
  auto boxes = window->MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kResolveFailedGbk);
  EXPECT_EQ(window->Events().size(), 1u);
}

}  // namespace
}  // namespace morvane
