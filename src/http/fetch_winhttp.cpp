#include "http/fetch_winhttp.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "http/cookies.h"
#include "http/header_lines.h"
#include "http/pending_events.h"
#include "http/transport.h"
#include "script/regex_object.h"
#include "text/charset.h"

namespace morvane {
namespace {

using std::chrono::milliseconds;

// The failure texts in GBK, byte for byte.
// "701 解析URL地址失败!"
constexpr std::string_view kBadAddress = "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!";
// "703 创建WinHttp连接失败!"
constexpr std::string_view kConnectFailed =
    "703 \xB4\xB4\xBD\xA8WinHttp\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC!";
// "710 设置协议头失败!"
constexpr std::string_view kHeadersRefused =
    "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!";
// "711 发送请求失败!"
constexpr std::string_view kSendFailed = "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
// "712 服务器未响应!"
constexpr std::string_view kNoResponse = "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";
// "713 读取数据失败!"
constexpr std::string_view kReadFailed = "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!";
// The steps these stand for have no counterpart over libcurl, so they are never
// reported; they are kept for the record of the numbering:
// "700 当前系统不支持WinHttp服务!", "702 创建WinHttp会话失败!",
// "704 创建WinHttp请求失败!", "705 设置超时时间失败!", "707 设置代理凭证失败!",
// "708 禁止自动设置Cookies失败!", "709 重定向设置失败!".

struct DefaultLine {
  std::string_view tested;
  bool ignoreCase;
  std::string_view line;  // with its CR LF
};

constexpr std::array<DefaultLine, 6> kDefaultLines = {{
    {"User-Agent: ", true,
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
    {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
    {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
    {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
    {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n"},
    {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
}};

constexpr std::array<std::string_view, 4> kMethodNames = {"GET", "POST", "HEAD", "PUT"};

constexpr std::string_view kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
constexpr Position kCharsetSearchBytes = 1024;

Text HeaderBlock(std::string_view extraHeaders, const Text* cookies) {
  Text block(extraHeaders);
  if (!block.empty()) block += "\r\n";
  for (const DefaultLine& entry : kDefaultLines) {
    if (FindText(block, entry.tested, 1, entry.ignoreCase) == -1) block += entry.line;
  }
  if (cookies != nullptr && !cookies->empty() && FindText(block, "Cookie: ", 1, true) == -1) {
    block += "Cookie: ";
    block += CutAtLineBreak(*cookies);
    block += "\r\n";
  }
  return block;
}

bool IsTokenCharacter(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte < 0x7F &&
         std::string_view("()<>@,;:\\\"/[]?={}").find(c) == std::string_view::npos;
}

// The lines of the block with add-or-replace semantics; false when a line is
// not a header line at all.
bool AddHeaderLines(std::string_view block, std::vector<std::string>& lines) {
  for (const Text& piece : SplitText(block, "\r\n")) {
    if (piece.empty()) continue;
    Text name = HeaderLineName(piece);
    if (name.empty() || !std::ranges::all_of(name, IsTokenCharacter)) return false;
    SetHeaderLine(lines, name, HeaderLineValue(piece));
  }
  return true;
}

// The address as the request goes out. An address whose host is followed by
// a query without a "/" asks for "/" alone: the query is dropped.
std::string RequestAddress(std::string_view url) {
  std::string address(url);
  std::size_t hostStart = address.find("://");
  if (hostStart == std::string::npos) return address;
  std::size_t hostEnd = address.find_first_of("/?#", hostStart + 3);
  if (hostEnd != std::string::npos && address[hostEnd] != '/') {
    address.replace(hostEnd, std::string::npos, "/");
  }
  return address;
}

// The page decoded into GBK when a meta tag in its first bytes names another
// charset; nothing for an undeclared, GBK or unknown charset.
std::optional<Text> DecodedPage(std::string_view body) {
  std::string_view text = body.substr(0, body.find('\0'));
  RegexObject regex;
  if (!regex.Search(kCharsetPattern, LeftBytes(text, kCharsetSearchBytes))) return std::nullopt;
  Text charset = regex.SubMatchText(1, 1);
  std::optional<Text> decoded;
  if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
    decoded = DecodeToGbk(BytesOf(body), charset);
  }
  ProcessPendingEvents();
  return decoded;
}

}  // namespace

Text FetchWithWinHttp(std::string_view url, const WinHttpOptions& options) {
  auto fail = [&options](std::string_view failureText) {
    if (options.statusText != nullptr) *options.statusText = failureText;
    ProcessPendingEvents();
    return Text();
  };
  if (!IsHttpUrl(url)) return fail(kBadAddress);
  std::string address = RequestAddress(url);

  int method = options.method < 0 || options.method > 3 ? 0 : options.method;
  milliseconds each = options.timeoutSeconds >= 1
                          ? milliseconds(std::int64_t{options.timeoutSeconds} * 1000)
                          : milliseconds(30'000);
  ExchangeRequest request{
      .method = kMethodNames[static_cast<std::size_t>(method)],
      .url = address,
      .body = BytesOf(options.postData),
      .proxy = options.proxy,
      .connectTimeout = each,
      .idleTimeout = each,
      .followRedirects = !options.noRedirect,
      // Only a call with cookies lets cookies of a redirect chain through.
      .cookieEngine = options.cookies != nullptr,
      .bodyAsText = true,
      .settings = options.settings,
  };
  if (!options.user.empty() && !options.password.empty()) {
    request.user = options.user;
    request.password = options.password;
  }
  if (!options.proxyUser.empty() && !options.proxyPassword.empty()) {
    request.proxyUser = options.proxyUser;
    request.proxyPassword = options.proxyPassword;
  }
  if (!AddHeaderLines(HeaderBlock(options.extraHeaders, options.cookies), request.headerLines)) {
    return fail(kHeadersRefused);
  }

  ExchangeResult result = PerformExchange(request);
  switch (result.stage) {
    case ExchangeStage::kDone:
    case ExchangeStage::kBody:
      break;
    case ExchangeStage::kAddress:
      return fail(kBadAddress);
    case ExchangeStage::kConnect:
      return fail(kConnectFailed);
    case ExchangeStage::kSend:
      return fail(kSendFailed);
    case ExchangeStage::kResponse:
      return fail(kNoResponse);
  }

  if (result.headerBlock.empty()) {
    // Without a header block nothing of the response is handed back.
    return result.stage == ExchangeStage::kBody ? fail(kReadFailed) : Text();
  }
  Text responseHeaders = NormalizeSetCookieNames(result.headerBlock);
  Text statusText;
  if (result.stage == ExchangeStage::kBody) {
    // The status line would read as success; a body cut short stays a failure.
    statusText = kReadFailed;
  } else {
    Position lineEnd = FindText(responseHeaders, "\r\n", 10);
    statusText = MidBytes(responseHeaders, 10, lineEnd - 10);
  }
  Text location;
  bool locationSeen = false;
  for (const Text& line : SplitText(responseHeaders, "\r\n")) {
    if (LowerCase(LeftBytes(line, 10)) == "location: ") {
      location = line.substr(10);
      locationSeen = true;
    }
    ProcessPendingEvents();
  }
  Text receivedCookies = CookiesFromHeaderBlock(responseHeaders);
  if (options.mergeCookies && options.cookies != nullptr) {
    receivedCookies = MergeCookies(*options.cookies, receivedCookies);
  }
  if (options.statusText != nullptr) *options.statusText = std::move(statusText);
  if (options.responseHeaders != nullptr) *options.responseHeaders = std::move(responseHeaders);
  if (options.location != nullptr && locationSeen) *options.location = std::move(location);
  if (options.receivedCookies != nullptr) *options.receivedCookies = std::move(receivedCookies);

  Text body = std::move(result.bodyText);
  if (options.responseBody != nullptr) *options.responseBody = Bytes(body.begin(), body.end());
  std::optional<Text> decoded = DecodedPage(body);
  if (decoded) {
    body = std::move(*decoded);
  } else {
    body.resize(std::min(body.find('\0'), body.size()));  // a text ends at a zero byte
  }
  ProcessPendingEvents();
  return body;
}

}  // namespace morvane
