#include "http/fetch_winhttp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/pending_events.h"
#include "support/http_server.h"
#include "support/raw_server.h"
#include "support/tinyproxy_process.h"
#include "text/charset.h"

namespace morvane {
namespace {

using test::Answer;
using test::AsString;
using test::LinesSent;
using test::MakeResponse;
using test::RawReply;
using test::RawRequest;
using test::RawServer;

constexpr const char* kAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
constexpr const char* kAccept = "Accept: text/html, application/xhtml+xml, */*";
constexpr const char* kEncoding = "Accept-Encoding: gbk, GB2312";
constexpr const char* kLanguage = "Accept-Language: zh-cn";
constexpr const char* kFormType = "Content-Type: application/x-www-form-urlencoded";
constexpr const char* kNoCache = "Cache-Control: no-cache";

// The failure texts are GBK; the UTF-8 literals here are converted by the
// charset module, independently of the byte escapes in the fetcher.
Text Gbk(std::string_view utf8) { return Utf8ToGbk(utf8); }

TEST(FetchWithWinHttp, DefaultHeaderLines) {
  struct Case {
    std::string name;
    std::string extraHeaders;
    const char* cookies;  // null: not given
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {"nothing given", "", nullptr, {kAgent, kAccept, kEncoding, kLanguage, kFormType, kNoCache}},
      {"cookies given empty", "", "", {kAgent, kAccept, kEncoding, kLanguage, kFormType, kNoCache}},
      // Names match in any letter case, except Content-Type; a line added
      // again replaces the earlier value in its place.
      {"the caller's lines in other letter cases",
       "user-agent: Mine\r\naccept: text/plain\r\ncontent-type: text/plain",
       nullptr,
       {"user-agent: Mine", "accept: text/plain", kFormType, kEncoding, kLanguage, kNoCache}},
      {"a line without the blank after the colon does not count",
       "Accept:text/plain",
       nullptr,
       {kAccept, kAgent, kEncoding, kLanguage, kFormType, kNoCache}},
      {"the caller's Cookie line wins",
       "Cookie: z=9",
       "a=1",
       {"Cookie: z=9", kAgent, kAccept, kEncoding, kLanguage, kFormType, kNoCache}},
      {"CR LF inside the cookie text",
       "",
       "a=1\r\nX-Smuggled: 1",
       {"Cookie: a=1", kAgent, kAccept, kEncoding, kLanguage, kFormType, kNoCache}},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "ok")));
    Text cookies = c.cookies != nullptr ? c.cookies : "";
    Text statusText;
    Text text = FetchWithWinHttp(server.Url(), {.cookies = c.cookies ? &cookies : nullptr,
                                                .extraHeaders = c.extraHeaders,
                                                .statusText = &statusText});
    EXPECT_EQ(text, "ok") << c.name;
    EXPECT_EQ(statusText, "200 OK") << c.name;
    EXPECT_EQ(LinesSent(server), c.sent) << c.name;
  }
}

TEST(FetchWithWinHttp, Methods) {
  struct Case {
    int method;
    std::string requestLine;
    std::string body;
  };
  const Case cases[] = {
      {0, "GET / HTTP/1.1", "q=1"}, {1, "POST / HTTP/1.1", "q=1"}, {2, "HEAD / HTTP/1.1", ""},
      {3, "PUT / HTTP/1.1", "q=1"}, {4, "GET / HTTP/1.1", "q=1"},  {-1, "GET / HTTP/1.1", "q=1"},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "")));
    FetchWithWinHttp(server.Url(), {.method = c.method, .postData = "q=1"});
    ASSERT_EQ(server.Requests().size(), 1u) << c.method;
    EXPECT_EQ(server.Requests()[0].RequestLine(), c.requestLine) << c.method;
    EXPECT_EQ(server.Requests()[0].body, c.body) << c.method;
  }
}

TEST(FetchWithWinHttp, AddressWithAQueryButNoPathAsksForTheRoot) {
  RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "")));
  FetchWithWinHttp("http://127.0.0.1:" + std::to_string(server.Port()) + "?x=1");
  EXPECT_EQ(server.Requests().at(0).RequestLine(), "GET / HTTP/1.1");
}

// /start redirects to /next and sets a cookie; /next echoes its Cookie lines.
RawServer::Handler Redirecting() {
  return [](const RawRequest& request) {
    if (request.RequestLine().starts_with("GET /start ")) {
      return RawReply{MakeResponse("HTTP/1.1 302 Moved Temporarily",
                                   {"SET-COOKIE: hop=1; path=/", "location: /next"}, "moved")};
    }
    std::vector<std::string> cookie = request.HeaderValues("Cookie");
    return RawReply{MakeResponse("HTTP/1.1 200 OK", {"Set-Cookie: end=2"},
                                 cookie.empty() ? "none" : cookie[0])};
  };
}

TEST(FetchWithWinHttp, RedirectsStatusTextAndLocation) {
  RawServer server(Redirecting());
  Text statusText, location = "kept", headers, received;
  Text text = FetchWithWinHttp(server.Url("/start"), {.receivedCookies = &received,
                                                      .responseHeaders = &headers,
                                                      .noRedirect = true,
                                                      .location = &location,
                                                      .statusText = &statusText});
  EXPECT_EQ(text, "moved");
  EXPECT_EQ(statusText, "302 Moved Temporarily");
  EXPECT_EQ(location, "/next");
  EXPECT_EQ(received, "hop=1");
  EXPECT_NE(headers.find("\r\nSet-Cookie: hop=1; path=/\r\n"), std::string::npos);

  location = "kept";
  text = FetchWithWinHttp(
      server.Url("/start"),
      {.receivedCookies = &received, .location = &location, .statusText = &statusText});
  EXPECT_EQ(text, "none");  // without cookies given, no cookie passes along the chain
  EXPECT_EQ(statusText, "200 OK");
  EXPECT_EQ(location, "kept");
  EXPECT_EQ(received, "end=2");
}

TEST(FetchWithWinHttp, GivenCookiesTravelTheRedirectChainAndMerge) {
  RawServer server(Redirecting());
  Text cookies = "mine=1";
  Text received;
  Text text =
      FetchWithWinHttp(server.Url("/start"), {.cookies = &cookies, .receivedCookies = &received});
  EXPECT_EQ(text, "hop=1; mine=1");
  EXPECT_EQ(received, "end=2; mine=1");
  EXPECT_EQ(cookies, "end=2; mine=1");

  cookies = "mine=1";
  FetchWithWinHttp(server.Url("/start"),
                   {.cookies = &cookies, .receivedCookies = &received, .mergeCookies = false});
  EXPECT_EQ(received, "end=2");
  EXPECT_EQ(cookies, "mine=1");
}

TEST(FetchWithWinHttp, FailureTextsLeaveTheOutParametersAlone) {
  test::SilentListener silent;
  int closedPort = 0;
  {
    RawServer closed(Answer(""));
    closedPort = closed.Port();
  }
  RawServer ok(Answer(MakeResponse("HTTP/1.1 200 OK", {"Set-Cookie: s=1"}, "ok")));
  test::HttpServer untrusted(
      [](httplib::Server& routes) {
        routes.Get("/", [](const httplib::Request&, httplib::Response& response) {
          response.set_content("secure", "text/plain");
        });
      },
      "localhost");
  struct Case {
    std::string name;
    std::string url;
    std::string extraHeaders;
    std::string postData;
    std::string statusText;  // UTF-8
  };
  const Case cases[] = {
      {"not an address", "127.0.0.1/x", "", "", "701 解析URL地址失败!"},
      {"another scheme", "ftp://127.0.0.1/", "", "", "701 解析URL地址失败!"},
      {"refused", "http://127.0.0.1:" + std::to_string(closedPort) + "/", "", "",
       "703 创建WinHttp连接失败!"},
      {"unknown host", "http://nowhere.invalid/", "", "", "703 创建WinHttp连接失败!"},
      {"certificate not trusted", untrusted.Url(), "", "", "703 创建WinHttp连接失败!"},
      {"a line that is no header", ok.Url(), "X-Fine: 1\r\nno colon here", "",
       "710 设置协议头失败!"},
      // The body fills the socket buffers of a peer that never reads.
      {"body never read", silent.Url(), "", std::string(64 << 20, 'x'), "711 发送请求失败!"},
      {"never answers", silent.Url(), "", "", "712 服务器未响应!"},
  };
  for (const Case& c : cases) {
    Text cookies = "c=1", received = "r", headers = "h", location = "l", statusText;
    Bytes responseBody = {'b'};
    Text text = FetchWithWinHttp(c.url, {.postData = c.postData,
                                         .cookies = &cookies,
                                         .receivedCookies = &received,
                                         .extraHeaders = c.extraHeaders,
                                         .responseHeaders = &headers,
                                         .timeoutSeconds = 1,
                                         .location = &location,
                                         .statusText = &statusText,
                                         .responseBody = &responseBody});
    EXPECT_EQ(statusText, Gbk(c.statusText)) << c.name;
    EXPECT_EQ(text, "") << c.name;
    EXPECT_EQ(cookies, "c=1") << c.name;
    EXPECT_EQ(received, "r") << c.name;
    EXPECT_EQ(headers, "h") << c.name;
    EXPECT_EQ(location, "l") << c.name;
    EXPECT_EQ(AsString(responseBody), "b") << c.name;
  }
}

TEST(FetchWithWinHttp, ReadFailureKeepsTheBytesSoFarAndSaysSo) {
  struct Case {
    std::string name;
    RawReply reply;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 10\r\n\r\n";
  const Case cases[] = {
      {"closed halfway", RawReply{head + "half"}},
      {"silent halfway", RawReply{head + "half", RawReply::Then::kHang}},
  };
  for (const Case& c : cases) {
    RawServer server([&c](const RawRequest&) { return c.reply; });
    Text cookies = "c=1", received, headers, statusText;
    Bytes responseBody;
    Text text = FetchWithWinHttp(server.Url(), {.cookies = &cookies,
                                                .receivedCookies = &received,
                                                .responseHeaders = &headers,
                                                .timeoutSeconds = 1,
                                                .statusText = &statusText,
                                                .responseBody = &responseBody});
    EXPECT_EQ(statusText, Gbk("713 读取数据失败!")) << c.name;
    EXPECT_EQ(text, "half") << c.name;
    EXPECT_EQ(AsString(responseBody), "half") << c.name;
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << c.name;
    EXPECT_EQ(received, "s=1; c=1") << c.name;
  }
}

TEST(FetchWithWinHttp, DecodesPagesOfAnotherDeclaredCharset) {
  const std::string utf8Page = "<html><meta charset=\"utf-8\"><p>中文</p>";
  const std::string gbkPage =
      "<meta http-equiv=Content-Type content=\"text/html; charset=gbk\">" + Gbk("<p>中文</p>");
  const std::string lateMeta = std::string(1100, ' ') + "<meta charset=utf-8><p>中文</p>";
  const std::string withZero = std::string("<meta charset=utf-8>A\0B", 23);
  struct Case {
    std::string name;
    std::string body;
    std::string text;
  };
  const Case cases[] = {
      {"utf-8 converted", utf8Page, Gbk(utf8Page)},
      {"gbk as received", gbkPage, gbkPage},
      {"meta tag beyond 1024 bytes ignored", lateMeta, lateMeta},
      {"unknown charset as received", "<meta charset=no-such-set>中",
       "<meta charset=no-such-set>中"},
      {"text ends at a zero byte", withZero, "<meta charset=utf-8>A"},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, c.body)));
    Bytes responseBody;
    Text text = FetchWithWinHttp(server.Url(), {.responseBody = &responseBody});
    EXPECT_EQ(text, c.text) << c.name;
    EXPECT_EQ(AsString(responseBody), c.body) << c.name;
  }
}

TEST(FetchWithWinHttp, LetsTheWindowServeEventsDuringTheCall) {
  int calls = 0;
  SetPendingEventsHook([&calls] { ++calls; });
  RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {"X-A: 1"}, "<meta charset=utf-8>")));
  FetchWithWinHttp(server.Url());
  SetPendingEventsHook({});
  // One per header line (status, X-A, Content-Length, Connection), one after
  // the charset step and one before returning.
  EXPECT_GE(calls, 6);
}

TEST(FetchWithWinHttp, ServerCredentialsOnlyAsAPair) {
  struct Case {
    std::string user, password;
    std::vector<std::string> authorization;
  };
  const Case cases[] = {
      {"user", "pass", {"Basic dXNlcjpwYXNz"}},
      {"user", "", {}},
      {"", "pass", {}},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "")));
    FetchWithWinHttp(server.Url(), {.user = c.user, .password = c.password});
    EXPECT_EQ(server.Requests().at(0).HeaderValues("Authorization"), c.authorization) << c.user;
  }
}

TEST(FetchWithWinHttp, CertificatesVerifiedUnlessTrustedOrSwitchedOff) {
  test::HttpServer server(
      [](httplib::Server& routes) {
        routes.Get("/", [](const httplib::Request&, httplib::Response& response) {
          response.set_content("secure", "text/plain");
        });
      },
      "localhost");
  HttpSettings trusted{.caFile = test::CertificateFile("localhost")};
  HttpSettings insecure{.insecure = true};
  EXPECT_EQ(FetchWithWinHttp(server.Url(), {.settings = &trusted}), "secure");
  EXPECT_EQ(FetchWithWinHttp(server.Url(), {.settings = &insecure}), "secure");
}

TEST(FetchWithWinHttp, ProxyWithBasicCredentials) {
  if (!test::TinyproxyProcess::Installed()) {
    GTEST_SKIP() << test::TinyproxyProcess::kProgram << " is not installed";
  }
  test::TinyproxyProcess proxy("user", "pass");
  ASSERT_TRUE(proxy.Running());
  auto routes = [](httplib::Server& server) {
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("behind", "text/plain");
    });
  };
  test::HttpServer plain(routes);
  test::HttpServer secure(routes, "localhost");
  HttpSettings trusted{.caFile = test::CertificateFile("localhost")};
  struct Case {
    std::string name;
    std::string url;
    std::string password;
    std::string text;
    std::string statusPrefix;
  };
  const Case cases[] = {
      {"http", plain.Url(), "pass", "behind", "200 "},
      {"https through the tunnel", secure.Url(), "pass", "behind", "200 "},
      {"http, wrong password", plain.Url(), "wrong", "", "401 "},
      {"http, no password: no credentials", plain.Url(), "", "", "407 "},
      {"https, wrong password", secure.Url(), "wrong", "", Gbk("703 ")},
  };
  for (const Case& c : cases) {
    Text statusText;
    Text text = FetchWithWinHttp(c.url, {.proxy = proxy.Address(),
                                         .proxyUser = "user",
                                         .proxyPassword = c.password,
                                         .statusText = &statusText,
                                         .settings = &trusted});
    if (!c.text.empty()) {
      EXPECT_EQ(text, c.text) << c.name;
    }
    EXPECT_TRUE(statusText.starts_with(c.statusPrefix)) << c.name << ": " << statusText;
  }
}

}  // namespace
}  // namespace morvane
