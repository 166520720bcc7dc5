#include "http/fetch_request_object.h"

#include <array>
#include <cstdint>

#include "http/cookies.h"
#include "http/header_lines.h"
#include "http/transport.h"

namespace morvane {
namespace {

using std::chrono::milliseconds;

struct DefaultLine {
  std::string_view searched;  // exact bytes, anywhere in the header text
  std::string_view line;      // empty: "Referer: " and the address
};

constexpr std::array<DefaultLine, 5> kDefaultLines = {{
    {"Accept:", "Accept: */*"},
    {"Referer:", ""},
    {"Accept-Language:", "Accept-Language: zh-cn"},
    {"User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded"},
}};

constexpr std::array<std::string_view, 3> kMethodNames = {"GET", "POST", "HEAD"};

void AddDefaultLines(Text& headers, std::string_view url) {
  for (const DefaultLine& entry : kDefaultLines) {
    if (FindText(headers, entry.searched) != -1) continue;
    Text line = entry.line.empty() ? "Referer: " + Text(url) : Text(entry.line);
    if (!headers.empty()) headers += "\r\n";
    headers += line;
  }
}

}  // namespace

Bytes FetchWithRequestObject(std::string_view url, const RequestObjectOptions& options) {
  int method = options.method < 0 || options.method > 2 ? 0 : options.method;
  ExchangeRequest request{
      .method = kMethodNames[static_cast<std::size_t>(method)],
      .url = url,
      .followRedirects = !options.noRedirect,
      // Like the request object's own session, cookies set along a redirect
      // chain reach the next address; nothing is kept after the call.
      .cookieEngine = true,
      .settings = options.settings,
  };
  if (options.timeoutSeconds == -1) {
    // The request object's own defaults: a minute to connect, half a minute
    // for each send and receive.
    request.connectTimeout = milliseconds(60'000);
    request.idleTimeout = milliseconds(30'000);
  } else {
    milliseconds each = options.timeoutSeconds >= 1
                            ? milliseconds(std::int64_t{options.timeoutSeconds} * 1000)
                            : milliseconds(15'000);
    request.connectTimeout = each;
    request.idleTimeout = each;
  }
  if (!options.proxy.empty()) {
    request.proxy = options.proxy;
    if (!options.proxyUser.empty() && options.proxyAuthMode == 1) {
      // Basic credentials for the proxy, also on the tunnel of an https
      // address, where a request header line would reach the server instead.
      request.proxyUser = options.proxyUser;
      request.proxyPassword = options.proxyPassword;
    }
  }

  Text localHeaders;
  Text& headers = options.extraHeaders != nullptr ? *options.extraHeaders : localHeaders;
  AddDefaultLines(headers, url);
  // Set in this order, so that a Cookie line of the caller's replaces the
  // cookie text.
  if (options.cookies != nullptr && !options.cookies->empty()) {
    SetHeaderLine(request.headerLines, "Cookie", *options.cookies);
  }
  for (const Text& piece : SplitText(headers, "\r\n")) {
    Text name = HeaderLineName(piece);
    if (name.empty()) continue;
    SetHeaderLine(request.headerLines, name, HeaderLineValue(piece));
  }
  request.body = !options.postBytes.empty() ? options.postBytes : BytesOf(options.postData);

  ExchangeResult result;
  if (options.requestObject != nullptr) {
    result = options.requestObject->Perform(request);
  } else {
    result = PerformExchange(request);
  }
  // A body that broke off is a failed exchange like any other: handing back
  // the part that arrived, with its status, would pass a cut page off as whole.
  bool answered = result.stage == ExchangeStage::kDone;
  Text responseHeaders = answered ? NormalizeSetCookieNames(result.headerBlock) : Text();
  Text receivedCookies = CookiesFromHeaderBlock(responseHeaders);
  if (options.responseHeaders != nullptr) *options.responseHeaders = responseHeaders;
  if (options.status != nullptr) *options.status = answered ? static_cast<int>(result.status) : 0;
  if (options.mergeCookies && options.cookies != nullptr) {
    receivedCookies = MergeCookies(*options.cookies, receivedCookies);
  }
  if (options.receivedCookies != nullptr) *options.receivedCookies = std::move(receivedCookies);
  return answered ? std::move(result.body) : Bytes();
}

}  // namespace morvane
