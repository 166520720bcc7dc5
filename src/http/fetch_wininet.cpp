#include "http/fetch_wininet.h"

#include <array>
#include <string>

#include "http/cookies.h"
#include "http/header_lines.h"
#include "http/transport.h"
#include "http/url.h"

namespace morvane {
namespace {

using std::chrono::milliseconds;

constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr std::array<std::string_view, 3> kMethodNames = {"GET", "POST", "HEAD"};

// The agent text: the value of the caller's User-Agent line, else the default.
Text AgentText(std::string_view extraHeaders) {
  if (FindText(extraHeaders, "User-Agent:", 1, true) == -1) return Text(kDefaultAgent);
  Text agent = TrimBlanks(TextBetween(Text(extraHeaders) + "\r\n", "User-Agent:", "\r\n"));
  if (agent.empty()) agent = HeaderLineValue(extraHeaders);
  return Text(CutAtLineBreak(agent));
}

Text HeaderBlock(std::string_view url, std::string_view extraHeaders, const Text* cookies) {
  Text block(extraHeaders);
  if (block.empty()) {
    block = "Accept: */*";
  } else if (FindText(block, "Accept:") == -1) {
    block += "\r\nAccept: */*";
  }
  if (FindText(block, "Referer:") == -1) {
    block += "\r\nReferer: ";
    block += url;
  }
  if (FindText(block, "Accept-Language:") == -1) block += "\r\nAccept-Language: zh-cn";
  if (FindText(block, "Content-Type:") == -1) {
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (cookies != nullptr && !cookies->empty()) {
    std::string_view cookieText = CutAtLineBreak(*cookies);
    // A cookie text holding "Cookie:" is a whole header line of the caller's.
    block += FindText(cookieText, "Cookie:") == -1 ? "\r\nCookie: " : "\r\n";
    block += cookieText;
  }
  return block;
}

}  // namespace

Bytes FetchWithWinInet(std::string_view url, const WinInetOptions& options) {
  int method = options.method < 0 || options.method > 2 ? 0 : options.method;
  bool secure = LowerCase(LeftBytes(url, 8)) == "https://";
  Text agent = AgentText(options.extraHeaders);

  // The request goes to the host, port and path cut out of the address text.
  Text host = UrlHost(url);
  if (host.empty() || host.find_first_of("/?#@\\") != Text::npos) return {};
  std::string address =
      (secure ? "https://" : "http://") + host + ":" + std::to_string(UrlPort(url)) + UrlPath(url);
  if (!IsHttpUrl(address)) return {};

  ExchangeRequest request{
      .method = kMethodNames[static_cast<std::size_t>(method)],
      .url = address,
      .agent = agent,
      .proxy = options.proxy,
      // Nothing bounds a silent server otherwise.
      .connectTimeout = milliseconds(60'000),
      .idleTimeout = milliseconds(60'000),
      .followRedirects = !options.noRedirect,
      // Without cookies of the caller's, cookies of a redirect chain pass on
      // within the call; given cookies are the only ones sent.
      .cookieEngine = options.cookies == nullptr,
      .settings = options.settings,
  };
  for (const Text& line :
       SplitText(HeaderBlock(url, options.extraHeaders, options.cookies), "\r\n")) {
    if (!line.empty()) request.headerLines.push_back(line);
  }
  if (method != 0) {
    request.body = !options.postBytes.empty() ? options.postBytes : BytesOf(options.postData);
  }

  ExchangeResult result = PerformExchange(request);
  bool answered = result.stage == ExchangeStage::kDone || result.stage == ExchangeStage::kBody;
  Text responseHeaders = answered ? NormalizeSetCookieNames(result.headerBlock) : Text();
  Text receivedCookies = CookiesFromHeaderBlock(responseHeaders);
  if (options.responseHeaders != nullptr) *options.responseHeaders = std::move(responseHeaders);
  if (options.mergeCookies && options.cookies != nullptr) {
    receivedCookies = MergeCookies(*options.cookies, receivedCookies);
  }
  if (options.receivedCookies != nullptr) *options.receivedCookies = std::move(receivedCookies);
  return answered ? std::move(result.body) : Bytes();
}

}  // namespace morvane
