#include "http/fetch_request_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/transport.h"
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

TEST(FetchWithRequestObject, DefaultHeaderLines) {
  struct Case {
    std::string name;
    const char* extraHeaders;  // null: not given
    std::string cookies;
    std::string writtenBack;  // "URL" stands for the address
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {"nothing given",
       nullptr,
       "",
       "",
       {"Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kAgent, kFormType}},
      {"the caller's agent",
       "User-Agent: Chrome/55",
       "",
       "User-Agent: Chrome/55\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n" +
           std::string(kFormType),
       {"User-Agent: Chrome/55", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn",
        kFormType}},
      // The search is case-sensitive: the default is added as well and, set
      // later, replaces the caller's value in its place.
      {"an agent in small letters",
       "user-agent: mine",
       "",
       "user-agent: mine\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n" +
           std::string(kAgent) + "\r\n" + kFormType,
       {kAgent, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kFormType}},
      {"a content type in small letters",
       "content-type: text/plain",
       "",
       "content-type: text/plain\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n" +
           std::string(kAgent) + "\r\n" + kFormType,
       {kFormType, "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kAgent}},
      // The cookie text is set first; a Cookie line of the caller's replaces it.
      {"cookies",
       "Referer: http://elsewhere/",
       "a=1",
       "Referer: http://elsewhere/\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n" +
           std::string(kAgent) + "\r\n" + kFormType,
       {"Cookie: a=1", "Referer: http://elsewhere/", "Accept: */*", "Accept-Language: zh-cn",
        kAgent, kFormType}},
      {"a Cookie line",
       "Cookie: z=9",
       "a=1",
       "Cookie: z=9\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n" +
           std::string(kAgent) + "\r\n" + kFormType,
       {"Cookie: z=9", "Accept: */*", "Referer: URL", "Accept-Language: zh-cn", kAgent, kFormType}},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "ok")));
    std::string url = server.Url("/page");
    auto withUrl = [&url](std::string text) {
      for (std::size_t at; (at = text.find("URL")) != std::string::npos;) text.replace(at, 3, url);
      return text;
    };
    Text extraHeaders = c.extraHeaders != nullptr ? c.extraHeaders : "";
    Text cookies = c.cookies;
    Bytes body = FetchWithRequestObject(
        url, {.cookies = &cookies, .extraHeaders = c.extraHeaders ? &extraHeaders : nullptr});
    EXPECT_EQ(AsString(body), "ok") << c.name;
    if (c.extraHeaders != nullptr) {
      EXPECT_EQ(extraHeaders, withUrl(c.writtenBack)) << c.name;
    }
    std::vector<std::string> expected;
    for (const std::string& line : c.sent) expected.push_back(withUrl(line));
    EXPECT_EQ(LinesSent(server), expected) << c.name;
  }
}

TEST(FetchWithRequestObject, Methods) {
  struct Case {
    int method;
    std::string postData;
    std::string postBytes;
    std::string requestLine;
    std::string body;
  };
  const Case cases[] = {
      {0, "", "", "GET / HTTP/1.1", ""},
      {1, "a=1&b=2", "", "POST / HTTP/1.1", "a=1&b=2"},
      {1, "a=1", "raw\x01", "POST / HTTP/1.1", "raw\x01"},
      {2, "", "", "HEAD / HTTP/1.1", ""},
      {3, "", "", "GET / HTTP/1.1", ""},
      {7, "", "", "GET / HTTP/1.1", ""},
      {-1, "", "", "GET / HTTP/1.1", ""},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "")));
    int status = 0;
    FetchWithRequestObject(server.Url(), {.method = c.method,
                                          .postData = c.postData,
                                          .status = &status,
                                          .postBytes = AsBytes(c.postBytes)});
    ASSERT_EQ(server.Requests().size(), 1u) << c.method;
    EXPECT_EQ(server.Requests()[0].RequestLine(), c.requestLine) << c.method;
    EXPECT_EQ(server.Requests()[0].body, c.body) << c.method;
    EXPECT_EQ(status, 200) << c.method;
  }
}

TEST(FetchWithRequestObject, CookiesGivenOrNotAndMerged) {
  const std::string response = MakeResponse(
      "HTTP/1.1 200 OK", {"set-cookie: a=1; path=/", "X-Other: 1", "Set-Cookie: b=2"}, "body");
  struct Case {
    std::string name;
    bool given;
    std::string cookies;
    bool mergeCookies;
    std::vector<std::string> cookieLines;
    std::string cookiesAfter;
    std::string received;
  };
  const Case cases[] = {
      {"not given", false, "", true, {}, "", "a=1; b=2"},
      {"given empty", true, "", true, {}, "a=1; b=2", "a=1; b=2"},
      {"given", true, "b=1; c=3", true, {"b=1; c=3"}, "a=1; b=2; c=3", "a=1; b=2; c=3"},
      {"given, no merge", true, "b=1; c=3", false, {"b=1; c=3"}, "b=1; c=3", "a=1; b=2"},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(response));
    Text cookies = c.cookies;
    Text received = "stale";
    Text headers;
    FetchWithRequestObject(server.Url(), {.cookies = c.given ? &cookies : nullptr,
                                          .receivedCookies = &received,
                                          .responseHeaders = &headers,
                                          .mergeCookies = c.mergeCookies});
    EXPECT_EQ(server.Requests().at(0).HeaderValues("Cookie"), c.cookieLines) << c.name;
    EXPECT_EQ(cookies, c.cookiesAfter) << c.name;
    EXPECT_EQ(received, c.received) << c.name;
    EXPECT_NE(headers.find("\r\nSet-Cookie: a=1; path=/\r\n"), std::string::npos) << c.name;
  }
}

TEST(FetchWithRequestObject, RedirectsFollowedOrReturned) {
  RawServer server([](const RawRequest& request) {
    if (request.RequestLine().starts_with("GET /start ")) {
      return RawReply{MakeResponse("HTTP/1.1 302 Found",
                                   {"Location: /next", "Set-Cookie: hop=1; path=/"}, "moved")};
    }
    std::vector<std::string> cookie = request.HeaderValues("Cookie");
    return RawReply{MakeResponse("HTTP/1.1 200 OK", {}, cookie.empty() ? "none" : cookie[0])};
  });
  int status = 0;
  Text headers;
  Text received;
  Bytes body = FetchWithRequestObject(server.Url("/start"), {.receivedCookies = &received,
                                                             .responseHeaders = &headers,
                                                             .status = &status,
                                                             .noRedirect = true});
  EXPECT_EQ(AsString(body), "moved");
  EXPECT_EQ(status, 302);
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 302 Found\r\n"));
  EXPECT_NE(headers.find("\r\nLocation: /next\r\n"), std::string::npos);
  EXPECT_EQ(received, "hop=1");

  // Followed: the cookie of the redirect reaches the next address.
  body = FetchWithRequestObject(server.Url("/start"),
                                {.receivedCookies = &received, .status = &status});
  EXPECT_EQ(AsString(body), "hop=1");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(received, "");
}

TEST(FetchWithRequestObject, FailuresGiveEmptyValues) {
  RawServer halfBody([](const RawRequest&) {
    return RawReply{"HTTP/1.1 200 OK\r\nSet-Cookie: h=1\r\nContent-Length: 10\r\n\r\nhalf"};
  });
  test::SilentListener silent;
  int closedPort = 0;
  {
    RawServer closed(Answer(""));
    closedPort = closed.Port();
  }
  struct Case {
    std::string name;
    std::string url;
    std::string body;
    int status;
    std::string received;
  };
  const Case cases[] = {
      {"refused", "http://127.0.0.1:" + std::to_string(closedPort) + "/", "", 0, "c=1"},
      {"not an address", "no address", "", 0, "c=1"},
      {"never answers", silent.Url(), "", 0, "c=1"},
      // A body cut short is no answer at all: nothing of it is handed back.
      {"half a body", halfBody.Url(), "", 0, "c=1"},
  };
  for (const Case& c : cases) {
    Text cookies = "c=1";
    Text received = "stale";
    Text headers = "stale";
    int status = -1;
    Bytes body = FetchWithRequestObject(c.url, {.cookies = &cookies,
                                                .receivedCookies = &received,
                                                .responseHeaders = &headers,
                                                .status = &status,
                                                .timeoutSeconds = 1});
    EXPECT_EQ(AsString(body), c.body) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(received, c.received) << c.name;
    EXPECT_EQ(cookies, c.received) << c.name;
    EXPECT_EQ(headers.empty(), c.status == 0) << c.name;
  }
}

TEST(FetchWithRequestObject, LineBreaksInCookiesAddNoHeaderLines) {
  RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "")));
  Text cookies = "a=1\r\nX-Smuggled: 1";
  FetchWithRequestObject(server.Url(), {.cookies = &cookies});
  RawRequest seen = server.Requests().at(0);
  EXPECT_EQ(seen.HeaderValues("Cookie"), std::vector<std::string>{"a=1"});
  EXPECT_TRUE(seen.HeaderValues("X-Smuggled").empty());
}

TEST(FetchWithRequestObject, SharedRequestObjectReusesItsConnection) {
  RawServer server([](const RawRequest&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", RawReply::Then::kKeepOpen};
  });
  RequestObject requestObject;
  for (int call = 0; call < 3; ++call) {
    EXPECT_EQ(AsString(FetchWithRequestObject(server.Url(), {.requestObject = &requestObject})),
              "ok");
  }
  EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(FetchWithRequestObject, VerifiesCertificates) {
  test::HttpServer server(
      [](httplib::Server& routes) {
        routes.Get("/", [](const httplib::Request&, httplib::Response& response) {
          response.set_content("secure", "text/plain");
        });
      },
      "localhost");
  HttpSettings trusted{.caFile = test::CertificateFile("localhost")};
  HttpSettings insecure{.insecure = true};
  EXPECT_EQ(AsString(FetchWithRequestObject(server.Url())), "");
  EXPECT_EQ(AsString(FetchWithRequestObject(server.Url(), {.settings = &trusted})), "secure");
  EXPECT_EQ(AsString(FetchWithRequestObject(server.Url(), {.settings = &insecure})), "secure");
}

TEST(FetchWithRequestObject, ProxyWithBasicCredentials) {
  if (!test::TinyproxyProcess::Installed()) {
    GTEST_SKIP() << test::TinyproxyProcess::kProgram << " is not installed";
  }
  test::TinyproxyProcess proxy("user", "pass");
  ASSERT_TRUE(proxy.Running());
  RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "behind")));
  struct Case {
    std::string name;
    std::string proxy;
    std::string user;
    int authMode;
    int status;
  };
  const Case cases[] = {
      {"Basic credentials", proxy.Address(), "user", 1, 200},
      {"another mode sends none", proxy.Address(), "user", 2, 407},
      {"wrong password", proxy.Address(), "nobody", 1, 401},
      {"no proxy: credentials ignored", "", "user", 1, 200},
  };
  for (const Case& c : cases) {
    int status = 0;
    FetchWithRequestObject(server.Url(), {.status = &status,
                                          .proxy = c.proxy,
                                          .proxyUser = c.user,
                                          .proxyPassword = "pass",
                                          .proxyAuthMode = c.authMode});
    EXPECT_EQ(status, c.status) << c.name;
  }
}

}  // namespace
}  // namespace morvane
