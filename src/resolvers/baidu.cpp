#include "resolvers/baidu.h"

#include <utility>

#include "http/fetch_winhttp.h"
#include "script/json_object.h"
#include "text/charset.h"

namespace morvane {
namespace {

const Text& ResolveFailedMessage() {
  static const Text message = Utf8ToGbk(std::string_view("解析失败"));
  return message;
}

// Only the first file of a share is resolved.
constexpr std::string_view kFileIndex = "0";

Text FileListPath(std::string_view key) {
  return "file_list.list[" + Text(kFileIndex) + "]." + Text(key);
}

}  // namespace

BaiduResolver::BaiduResolver(Settings settings) : settings_(std::move(settings)) {}

Text BaiduResolver::ResolveBaiduLink(std::string_view shareUrl, WindowOperations& window) {
  JsonObject json;

  // The first visit only collects the service's cookies; it sends and merges
  // the cookies kept from earlier resolves.
  Text responseHeaders;
  FetchWithWinHttp(shareUrl, {.cookies = &cookies_,
                              .responseHeaders = &responseHeaders,
                              .noRedirect = true,
                              .settings = &settings_.http});
  Text firstCookie = TextBetween(responseHeaders, "Set-Cookie: ", "FG=1;");

  // The second visit, with that cookie, yields the page; its cookies (merged
  // with the first one) replace the kept ones.
  const Text page = FetchWithWinHttp(
      shareUrl,
      {.cookies = &firstCookie, .receivedCookies = &cookies_, .settings = &settings_.http});

  // A password-protected share is passed on only through the BDCLND cookie the
  // service set. The cookie may be the last item of the text, where no ";"
  // follows it.
  const Text bdclnd = TextBetween(cookies_ + ";", "BDCLND=", ";");
  const Text extra = bdclnd.empty() ? Text() : "{\"sekey\":\"" + bdclnd + "\"}";

  // Unreadable page data is told to the user, and the request still goes out
  // with empty values: the answer then holds no link.
  if (!json.Parse(TextBetween(page, "yunData.setData(", ");"))) {
    window.ShowMessageBox(ResolveFailedMessage(), {});
  }
  const Text sign = json.GetText("sign");
  const Text timestamp = json.GetText("timestamp");
  const Text bdstoken = json.GetText("bdstoken");
  const Text logId = MakeLogId();
  // In JSON notation, so that the 16-digit id keeps all its digits.
  const Text fsId = json.GetText(FileListPath("fs_id"), true);
  const Text appId = json.GetText(FileListPath("app_id"));
  const Text uk = json.GetText("uk");
  const Text shareId = json.GetText("shareid");

  // Values go in unencoded and in this order, as the service's own page sends them.
  const Text url = "http://" + settings_.baiduHost + "/api/sharedownload?sign=" + sign +
                   "&timestamp=" + timestamp + "&bdstoken=" + bdstoken +
                   "&channel=chunlei&clienttype=0&web=1&app_id=" + appId + "&logid=" + logId;
  const Text form = "encrypt=0&product=share&uk=" + uk + "&primaryid=" + shareId +
                    "&vcode_input=" + "&vcode_str=" + "&extra=" + extra + "&fid_list=%5B" + fsId +
                    "%5D";
  const Text referer = "Referer:" + Text(shareUrl);
  const Text answer = FetchWithWinHttp(url, {.method = 1,
                                             .postData = form,
                                             .cookies = &cookies_,
                                             .extraHeaders = referer,
                                             .settings = &settings_.http});

  // The link's slashes come JSON-escaped as "\/"; nothing else is unescaped.
  return RemoveSlashes(TextBetween(answer, "dlink\":\"", "\""));
}

Text BaiduResolver::MakeLogId() const { return ::morvane::MakeLogId(); }

Text BaiduResolver::RandomDigits(int digitCount) const {
  return ::morvane::RandomDigits(digitCount);
}

Text BaiduResolver::RemoveSlashes(std::string_view text, bool forwardSlash) const {
  return ReplaceText(text, forwardSlash ? "/" : "\\", {});
}

void OnResolveBaidu(WindowOperations& window, BaiduResolver& resolver) {
  const Text address = window.ReadControlText(controls::kBaiduAddress);
  const Text result = resolver.ResolveBaiduLink(address, window);
  window.WriteControlText(controls::kBaiduResult, result);
}

}  // namespace morvane
