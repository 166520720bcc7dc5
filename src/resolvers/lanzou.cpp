#include "resolvers/lanzou.h"

#include <system_error>
#include <thread>
#include <utility>

#include "http/fetch_request_object.h"
#include "script/json_object.h"
#include "script/regex_object.h"
#include "text/charset.h"

namespace morvane {
namespace {

// The service serves its share and frame pages only to a current browser; the
// interface request keeps the fetcher's own User-Agent.
constexpr std::string_view kChromeUserAgent =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/55.0.2883.87 Safari/537.36";
// Group 1: the frame's path without its leading "/".
constexpr std::string_view kFramePattern = R"re(ifr2"\sname="[\s\S]*?"\ssrc="\/(.*?)")re";
// Groups 1 to 4: the form values action, file_id, t and k of the frame's script.
constexpr std::string_view kFormValuesPattern =
    R"(=\s'(.*?)';[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)'[\S\s]*?=\s'(.*?)')";

const Text& ResolveFailedMessage() {
  static const Text message = Utf8ToGbk(std::string_view("解析失败"));
  return message;
}

}  // namespace

void ResolveLanzouLink(std::string_view shareUrl, WindowOperations& window,
                       const Settings& settings) {
  RegexObject regex;
  JsonObject json;
  const Text siteBase = "https://" + settings.lanzouHost;

  Text shareHeaders(kChromeUserAgent);
  const Bytes sharePage =
      FetchWithRequestObject(shareUrl, {.extraHeaders = &shareHeaders, .settings = &settings.http});
  regex.Search(kFramePattern, Utf8ToGbk(ByteView(sharePage)));
  // Without a frame there is nothing to follow: the only failure the user is
  // told about, and the result box keeps what it had.
  if (regex.MatchCount() < 1) {
    window.ShowMessageBox(ResolveFailedMessage(), {});
    return;
  }
  const Text frameUrl = siteBase + "/" + regex.SubMatchText(1, 1);

  Text frameHeaders(kChromeUserAgent);
  const Bytes framePage =
      FetchWithRequestObject(frameUrl, {.extraHeaders = &frameHeaders, .settings = &settings.http});
  regex.Search(kFormValuesPattern, Utf8ToGbk(ByteView(framePage)));
  // Missing values go out empty; the interface's answer then holds no address.
  const Text form = "action=" + regex.SubMatchText(1, 1) + "&file_id=" + regex.SubMatchText(1, 2) +
                    "&t=" + regex.SubMatchText(1, 3) + "&k=" + regex.SubMatchText(1, 4);

  Text interfaceHeaders = "Referer: " + frameUrl;
  const Bytes answer =
      FetchWithRequestObject(siteBase + "/ajaxm.php", {.method = 1,
                                                       .postData = form,
                                                       .extraHeaders = &interfaceHeaders,
                                                       .settings = &settings.http});
  json.Clear();
  json.Parse(TextFromBytes(answer));
  const Text fileUrl = json.GetText("dom") + "/file/" + json.GetText("url");

  // The redirect's target is the download itself: it is read from the
  // Location line, never fetched.
  Text responseHeaders;
  FetchWithRequestObject(
      fileUrl,
      {.responseHeaders = &responseHeaders, .noRedirect = true, .settings = &settings.http});
  window.WriteControlText(controls::kLanzouResult,
                          TextBetween(responseHeaders, "Location: ", "\r\n"));
}

void LanzouWorker(Text address, std::shared_ptr<WindowOperations> window, Settings settings) {
  if (!window) return;
  // Nothing may leave a thread's body; a resolve that cannot finish (out of
  // memory) ends as silently as a failed request does.
  try {
    ResolveLanzouLink(address, *window, settings);
  } catch (...) {
  }
}

void LanzouClickHandler::OnResolveLanzou(std::shared_ptr<WindowOperations> window,
                                         const Settings& settings) {
  if (!window) return;
  Text address = window->ReadControlText(controls::kLanzouAddress);
  {
    std::lock_guard lock(mutex_);
    lanzouAddress_ = address;
  }
  // The worker owns its copies of the address, the window operations and the
  // settings, so later clicks and the exit routine never pull them away.
  try {
    std::thread(LanzouWorker, std::move(address), std::move(window), settings).detach();
  } catch (const std::system_error&) {
    // A thread that cannot start leaves the click without effect.
  }
}

Text LanzouClickHandler::lanzouAddress() const {
  std::lock_guard lock(mutex_);
  return lanzouAddress_;
}

void LanzouClickHandler::Release() {
  std::lock_guard lock(mutex_);
  Text().swap(lanzouAddress_);
}

}  // namespace morvane
