#include "http/fetch_wininet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/http_server.h"
#include "support/raw_server.h"
#include "support/tinyproxy_process.h"

namespace morvane {
namespace {

using test::Answer;
using test::AsBytes;
using test::AsString;
using test::LinesSent;
using test::MakeResponse;
using test::RawReply;
using test::RawRequest;
using test::RawServer;

constexpr const char* kAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr const char* kFormType = "Content-Type: application/x-www-form-urlencoded";

TEST(FetchWithWinInet, DefaultHeaderLinesAndAgent) {
  struct Case {
    std::string name;
    std::string extraHeaders;
    const char* cookies;            // null: not given
    std::vector<std::string> sent;  // "URL" stands for the address
  };
  const Case cases[] = {
      {"nothing given",
       "",
       nullptr,
       {kAgent, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kFormType}},
      {"all four given",
       "Accept: text/html\r\nReferer: http://r/\r\nAccept-Language: en\r\nContent-Type: text/plain",
       nullptr,
       {kAgent, "Accept: text/html", "Referer: http://r/", "Accept-Language: en",
        "Content-Type: text/plain"}},
      // The search is case-sensitive and lines are sent as they are, so both
      // accept lines go out.
      {"accept in small letters",
       "accept: text/html",
       nullptr,
       {kAgent, "accept: text/html", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
        kFormType}},
      // The caller's agent line is the agent and goes out once, in its place.
      {"the caller's agent",
       "X-A: 1\r\nuser-agent: Mine/2",
       nullptr,
       {"X-A: 1", "user-agent: Mine/2", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
        kFormType}},
      {"cookies",
       "",
       "a=1; b=2",
       {kAgent, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kFormType,
        "Cookie: a=1; b=2"}},
      {"a whole Cookie line as cookies",
       "",
       "Cookie: c=3",
       {kAgent, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kFormType, "Cookie: c=3"}},
      {"cookies given empty",
       "",
       "",
       {kAgent, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kFormType}},
      {"CR LF inside the cookie text",
       "",
       "a=1\r\nX-Smuggled: 1",
       {kAgent, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kFormType, "Cookie: a=1"}},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "ok")));
    std::string url = server.Url("/notice?v=1");
    Text cookies = c.cookies != nullptr ? c.cookies : "";
    Bytes body = FetchWithWinInet(
        url, {.cookies = c.cookies ? &cookies : nullptr, .extraHeaders = c.extraHeaders});
    EXPECT_EQ(AsString(body), "ok") << c.name;
    EXPECT_EQ(server.Requests().at(0).RequestLine(), "GET /notice?v=1 HTTP/1.1") << c.name;
    std::vector<std::string> expected;
    for (std::string line : c.sent) {
      if (std::size_t at = line.find("URL"); at != std::string::npos) line.replace(at, 3, url);
      expected.push_back(line);
    }
    EXPECT_EQ(LinesSent(server), expected) << c.name;
  }
}

TEST(FetchWithWinInet, Methods) {
  struct Case {
    int method;
    std::string postData;
    std::string postBytes;
    std::string requestLine;
    std::string body;
  };
  const Case cases[] = {
      {0, "q=1", "", "GET / HTTP/1.1", ""},  // a GET carries no body
      {1, "q=1", "", "POST / HTTP/1.1", "q=1"}, {1, "q=1", "bytes", "POST / HTTP/1.1", "bytes"},
      {2, "", "", "HEAD / HTTP/1.1", ""},       {3, "q=1", "", "GET / HTTP/1.1", ""},
      {-1, "q=1", "", "GET / HTTP/1.1", ""},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "")));
    FetchWithWinInet(
        server.Url(),
        {.method = c.method, .postData = c.postData, .postBytes = AsBytes(c.postBytes)});
    ASSERT_EQ(server.Requests().size(), 1u) << c.method;
    EXPECT_EQ(server.Requests()[0].RequestLine(), c.requestLine) << c.method;
    EXPECT_EQ(server.Requests()[0].body, c.body) << c.method;
  }
}

TEST(FetchWithWinInet, ReceivedCookiesAndMerge) {
  struct Case {
    std::string name;
    std::vector<std::string> responseLines;
    bool given;
    std::string cookies;
    std::string cookiesAfter;
    std::string received;
  };
  const Case cases[] = {
      {"any letter case, not given",
       {"Set-Cookie: a=1; path=/", "set-cookie: b=2"},
       false,
       "",
       "",
       "a=1; b=2"},
      {"none set", {"X-Other: 1"}, false, "", "", ""},
      {"given empty: merged", {"Set-Cookie: a=1"}, true, "", "a=1", "a=1"},
      {"given: merged", {"Set-Cookie: a=1"}, true, "a=0; z=9", "a=1; z=9", "a=1; z=9"},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", c.responseLines, "")));
    Text cookies = c.cookies;
    Text received = "stale";
    Text headers;
    FetchWithWinInet(server.Url(), {.cookies = c.given ? &cookies : nullptr,
                                    .receivedCookies = &received,
                                    .responseHeaders = &headers});
    EXPECT_EQ(cookies, c.cookiesAfter) << c.name;
    EXPECT_EQ(received, c.received) << c.name;
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << c.name;
  }
}

TEST(FetchWithWinInet, RedirectsFollowedOrReturned) {
  RawServer server([](const RawRequest& request) {
    if (request.RequestLine().starts_with("GET /old ")) {
      return RawReply{MakeResponse("HTTP/1.1 301 Moved Permanently", {"Location: /new"}, "old")};
    }
    return RawReply{MakeResponse("HTTP/1.1 200 OK", {}, "new")};
  });
  Text headers;
  EXPECT_EQ(AsString(FetchWithWinInet(server.Url("/old"))), "new");
  EXPECT_EQ(AsString(FetchWithWinInet(server.Url("/old"),
                                      {.responseHeaders = &headers, .noRedirect = true})),
            "old");
  EXPECT_NE(headers.find("\r\nLocation: /new\r\n"), std::string::npos);
}

TEST(FetchWithWinInet, Failures) {
  int closedPort = 0;
  {
    RawServer closed(Answer(""));
    closedPort = closed.Port();
  }
  // No connection: the body and the header block are empty, and the given
  // cookies still merge with no new ones.
  Text cookies = "a=1;b=2", received = "r", headers = "h";
  Bytes body = FetchWithWinInet(
      "http://127.0.0.1:" + std::to_string(closedPort) + "/",
      {.cookies = &cookies, .receivedCookies = &received, .responseHeaders = &headers});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(received, "a=1; b=2");
  EXPECT_EQ(cookies, "a=1; b=2");

  // An address with no host to connect to: nothing is touched.
  cookies = "a=1;b=2", received = "r", headers = "h";
  body = FetchWithWinInet(
      "http://?x=1",
      {.cookies = &cookies, .receivedCookies = &received, .responseHeaders = &headers});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "h");
  EXPECT_EQ(received, "r");
  EXPECT_EQ(cookies, "a=1;b=2");

  // A body cut short: what arrived.
  RawServer halfBody(Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf"));
  EXPECT_EQ(AsString(FetchWithWinInet(halfBody.Url())), "half");
}

TEST(FetchWithWinInet, SecureSchemeInAnyCaseWithVerifiedCertificates) {
  test::HttpServer server(
      [](httplib::Server& routes) {
        routes.Get("/", [](const httplib::Request&, httplib::Response& response) {
          response.set_content("secure", "text/plain");
        });
      },
      "localhost");
  std::string upperUrl = "HTTPS://127.0.0.1:" + std::to_string(server.Port()) + "/";
  HttpSettings trusted{.caFile = test::CertificateFile("localhost")};
  HttpSettings insecure{.insecure = true};
  EXPECT_EQ(AsString(FetchWithWinInet(upperUrl)), "");
  EXPECT_EQ(AsString(FetchWithWinInet(upperUrl, {.settings = &trusted})), "secure");
  EXPECT_EQ(AsString(FetchWithWinInet(upperUrl, {.settings = &insecure})), "secure");
}

TEST(FetchWithWinInet, GoesThroughTheNamedProxy) {
  if (!test::TinyproxyProcess::Installed()) {
    GTEST_SKIP() << test::TinyproxyProcess::kProgram << " is not installed";
  }
  // This fetcher has no proxy credentials: the proxy's 407 answer shows that
  // the request went through it.
  test::TinyproxyProcess proxy("user", "pass");
  ASSERT_TRUE(proxy.Running());
  RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "direct")));
  Text headers;
  FetchWithWinInet(server.Url(), {.responseHeaders = &headers, .proxy = proxy.Address()});
  EXPECT_TRUE(headers.starts_with("HTTP/1.0 407 ")) << headers;
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace morvane
