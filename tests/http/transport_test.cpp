#include "http/transport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/http_server.h"
#include "support/raw_server.h"
#include "support/tinyproxy_process.h"

namespace morvane {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::AsBytes;
using test::AsString;
using test::HttpServer;
using test::MakeResponse;
using test::RawReply;
using test::RawRequest;
using test::RawServer;

std::string OkResponse(std::string_view body = "hello") {
  return MakeResponse("HTTP/1.1 200 OK", {}, body);
}

struct MethodCase {
  const char* method;
  std::string body;
  const char* requestLine;
  // Expected header lines after Host, in order.
  std::vector<std::string> lines;
};

void PrintTo(const MethodCase& c, std::ostream* out) { *out << c.method << " body=" << c.body; }

class TransportMethods : public testing::TestWithParam<MethodCase> {};

// The request carries the given lines in their order and nothing of libcurl's
// own (no Accept, User-Agent, Expect or form Content-Type).
TEST_P(TransportMethods, SendsExactlyTheGivenLines) {
  const MethodCase& c = GetParam();
  RawServer server(Answer(OkResponse()));
  std::string url = server.Url("/p?q=1");
  ExchangeRequest request{.method = c.method, .url = url};
  request.headerLines = {"X-First: 1", "Referer: http://a/", "x-lower: 2"};
  request.body = AsBytes(c.body);
  ExchangeResult result = PerformExchange(request);

  ASSERT_EQ(result.stage, ExchangeStage::kDone) << result.error;
  ASSERT_EQ(server.Requests().size(), 1u);
  RawRequest seen = server.Requests()[0];
  EXPECT_EQ(seen.RequestLine(), c.requestLine);
  std::vector<std::string> lines = seen.HeaderLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Host: 127.0.0.1:" + std::to_string(server.Port()));
  lines.erase(lines.begin());
  EXPECT_EQ(lines, c.lines);
  EXPECT_EQ(seen.body, c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, TransportMethods,
    testing::Values(
        MethodCase{
            "GET", "", "GET /p?q=1 HTTP/1.1", {"X-First: 1", "Referer: http://a/", "x-lower: 2"}},
        MethodCase{
            "HEAD", "", "HEAD /p?q=1 HTTP/1.1", {"X-First: 1", "Referer: http://a/", "x-lower: 2"}},
        MethodCase{"POST",
                   "a=1&b=2",
                   "POST /p?q=1 HTTP/1.1",
                   {"X-First: 1", "Referer: http://a/", "x-lower: 2", "Content-Length: 7"}},
        MethodCase{"POST",
                   "",
                   "POST /p?q=1 HTTP/1.1",
                   {"X-First: 1", "Referer: http://a/", "x-lower: 2", "Content-Length: 0"}},
        MethodCase{"PUT",
                   "x",
                   "PUT /p?q=1 HTTP/1.1",
                   {"X-First: 1", "Referer: http://a/", "x-lower: 2", "Content-Length: 1"}},
        // A body on a GET goes out as given.
        MethodCase{"GET",
                   "z=9",
                   "GET /p?q=1 HTTP/1.1",
                   {"X-First: 1", "Referer: http://a/", "x-lower: 2", "Content-Length: 3"}}));

TEST(Transport, AgentAndCredentialLines) {
  struct Case {
    std::string agent;
    std::vector<std::string> lines;
    std::string user, password;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"Agent/1", {}, "", "", {"User-Agent: Agent/1"}},
      // A User-Agent line of the caller's wins over the agent text.
      {"Agent/1", {"user-agent: Mine"}, "", "", {"user-agent: Mine"}},
      {"",
       {"Accept: text/html"},
       "user",
       "pass",
       {"Authorization: Basic dXNlcjpwYXNz", "Accept: text/html"}},
  };
  for (const Case& c : cases) {
    RawServer server(Answer(OkResponse()));
    std::string url = server.Url();
    ExchangeRequest request{.url = url,
                            .headerLines = c.lines,
                            .agent = c.agent,
                            .user = c.user,
                            .password = c.password};
    ASSERT_EQ(PerformExchange(request).stage, ExchangeStage::kDone);
    std::vector<std::string> lines = server.Requests().at(0).HeaderLines();
    lines.erase(lines.begin());
    EXPECT_EQ(lines, c.expected) << c.agent;
  }
}

TEST(Transport, LineBreaksInsideValuesNeverAddLines) {
  RawServer server(Answer(OkResponse()));
  std::string url = server.Url();
  ExchangeRequest request{.url = url, .agent = "Agent\r\nX-Agent-Smuggled: 1"};
  request.headerLines = {"Cookie: a=1\r\nX-Smuggled: 1", "X-Lf: v\nX-Lf-Smuggled: 1",
                         "X-Cr: v\rX-Cr-Smuggled: 1", "\r\nX-Leading: 1"};
  ASSERT_EQ(PerformExchange(request).stage, ExchangeStage::kDone);
  std::vector<std::string> lines = server.Requests().at(0).HeaderLines();
  lines.erase(lines.begin());
  EXPECT_EQ(lines,
            (std::vector<std::string>{"User-Agent: Agent", "Cookie: a=1", "X-Lf: v", "X-Cr: v"}));
}

TEST(Transport, KeepsOnlyTheFinalResponseBlockWithCrLfLineEnds) {
  // An interim 100 answer first, then bare LF line ends.
  RawServer server(
      Answer("HTTP/1.1 100 Continue\r\n\r\n"
             "HTTP/1.1 404 Not Found\nX-One: 1\nContent-Length: 4\nConnection: close\n\nmiss"));
  ExchangeResult result = PerformExchange({.url = server.Url()});
  ASSERT_EQ(result.stage, ExchangeStage::kDone) << result.error;
  EXPECT_EQ(result.status, 404);
  EXPECT_EQ(result.headerBlock,
            "HTTP/1.1 404 Not Found\r\nX-One: 1\r\nContent-Length: 4\r\nConnection: close\r\n");
  EXPECT_EQ(AsString(result.body), "miss");
}

// /start redirects to /next, setting a cookie; /next answers with what it got.
RawServer::Handler RedirectingHandler() {
  return [](const RawRequest& request) {
    if (request.RequestLine().starts_with("GET /start ")) {
      return RawReply{MakeResponse("HTTP/1.1 302 Found",
                                   {"Location: /next", "Set-Cookie: hop=1; Path=/"}, "moved")};
    }
    std::vector<std::string> cookies = request.HeaderValues("Cookie");
    std::string seen = cookies.empty() ? "none" : cookies[0];
    return RawReply{MakeResponse("HTTP/1.1 200 OK",
                                 {"X-Seen-Cookie-Lines: " + std::to_string(cookies.size())}, seen)};
  };
}

TEST(Transport, RedirectsFollowedOrNot) {
  RawServer server(RedirectingHandler());
  ExchangeResult followed = PerformExchange({.url = server.Url("/start")});
  ASSERT_EQ(followed.stage, ExchangeStage::kDone);
  EXPECT_EQ(followed.status, 200);
  EXPECT_TRUE(followed.headerBlock.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(followed.headerBlock.find("302"), std::string::npos);
  EXPECT_EQ(AsString(followed.body), "none");  // no cookie engine, no cookie

  ExchangeResult stopped = PerformExchange({.url = server.Url("/start"), .followRedirects = false});
  ASSERT_EQ(stopped.stage, ExchangeStage::kDone);
  EXPECT_EQ(stopped.status, 302);
  EXPECT_NE(stopped.headerBlock.find("Location: /next\r\n"), std::string::npos);
  EXPECT_EQ(AsString(stopped.body), "moved");
}

TEST(Transport, CookieEngineCarriesRedirectCookiesInOneLine) {
  RawServer server(RedirectingHandler());
  std::string url = server.Url("/start");
  ExchangeRequest request{.url = url, .cookieEngine = true};
  request.headerLines = {"Cookie: mine=2"};
  ExchangeResult result = PerformExchange(request);
  ASSERT_EQ(result.stage, ExchangeStage::kDone) << result.error;
  EXPECT_EQ(AsString(result.body), "hop=1; mine=2");
  EXPECT_NE(result.headerBlock.find("X-Seen-Cookie-Lines: 1\r\n"), std::string::npos);
}

TEST(Transport, ReusedObjectSharesConnectionsButNoCookies) {
  RawServer server([](const RawRequest& request) {
    std::string cookie = request.HeaderValues("Cookie").empty() ? "none" : "some";
    return RawReply{"HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 4\r\n\r\n" + cookie,
                    RawReply::Then::kKeepOpen};
  });
  RequestObject requestObject;
  ExchangeResult first = requestObject.Perform({.url = server.Url("/1"), .cookieEngine = true});
  ExchangeResult second = requestObject.Perform({.url = server.Url("/2"), .cookieEngine = true});
  EXPECT_EQ(AsString(first.body), "none");
  EXPECT_EQ(AsString(second.body), "none");
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(Transport, StopsAfterTwentyRedirects) {
  RawServer server(Answer(MakeResponse("HTTP/1.1 302 Found", {"Location: /again"}, "")));
  ExchangeResult result = PerformExchange({.url = server.Url("/again")});
  EXPECT_EQ(result.stage, ExchangeStage::kResponse);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(server.Requests().size(), 21u);  // the first request and twenty hops
}

TEST(Transport, FailureStages) {
  RawServer halfBody(Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf"));
  RawServer silent([](const RawRequest&) { return RawReply{"", RawReply::Then::kHang}; });
  RawServer stalling([](const RawRequest&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", RawReply::Then::kHang};
  });
  RawServer large(Answer(OkResponse(std::string(5000, 'x'))));
  RawServer badRedirect(Answer(MakeResponse("HTTP/1.1 302 Found", {"Location: ftp://x/"}, "")));
  int closedPort = 0;
  {
    RawServer closed(Answer(""));
    closedPort = closed.Port();
  }
  struct Case {
    std::string name;
    std::string url;
    ExchangeStage stage;
    std::string body;
    long status;
  };
  const Case cases[] = {
      {"not a url", "http//nowhere", ExchangeStage::kAddress, "", 0},
      {"other scheme", "ftp://127.0.0.1/", ExchangeStage::kAddress, "", 0},
      {"refused", "http://127.0.0.1:" + std::to_string(closedPort) + "/", ExchangeStage::kConnect,
       "", 0},
      {"unknown host", "http://nowhere.invalid/", ExchangeStage::kConnect, "", 0},
      {"half a body", halfBody.Url(), ExchangeStage::kBody, "half", 200},
      {"never answers", silent.Url(), ExchangeStage::kResponse, "", 0},
      {"stalls in the body", stalling.Url(), ExchangeStage::kBody, "abc", 200},
      {"body too large", large.Url(), ExchangeStage::kBody, std::string(1000, 'x'), 200},
      {"redirect to another scheme", badRedirect.Url(), ExchangeStage::kResponse, "", 0},
  };
  for (const Case& c : cases) {
    ExchangeRequest request{
        .url = c.url, .connectTimeout = 2s, .idleTimeout = 1s, .maxBodyBytes = 1000};
    ExchangeResult result = PerformExchange(request);
    EXPECT_EQ(result.stage, c.stage) << c.name << ": " << result.error;
    EXPECT_EQ(AsString(result.body), c.body) << c.name;
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_FALSE(result.error.empty()) << c.name;
  }
}

TEST(Transport, CollectsTheBodyAsTextWhenAsked) {
  RawServer server(Answer(OkResponse(std::string(5000, 'x'))));
  ExchangeResult whole = PerformExchange({.url = server.Url(), .bodyAsText = true});
  EXPECT_EQ(whole.stage, ExchangeStage::kDone);
  EXPECT_EQ(whole.bodyText, std::string(5000, 'x'));
  EXPECT_TRUE(whole.body.empty());
  ExchangeResult capped =
      PerformExchange({.url = server.Url(), .maxBodyBytes = 1000, .bodyAsText = true});
  EXPECT_EQ(capped.stage, ExchangeStage::kBody);
  EXPECT_EQ(capped.bodyText, std::string(1000, 'x'));
}

TEST(Transport, TotalBoundEndsATricklingServer) {
  RawServer server([](const RawRequest&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab", RawReply::Then::kHang};
  });
  ExchangeResult result =
      PerformExchange({.url = server.Url(), .idleTimeout = 10s, .totalTimeout = 500ms});
  EXPECT_EQ(result.stage, ExchangeStage::kBody);
  EXPECT_EQ(AsString(result.body), "ab");
}

TEST(Transport, IgnoresProxyVariablesOfTheEnvironment) {
  RawServer server(Answer(OkResponse("direct")));
  for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    setenv(name, "http://127.0.0.1:9", 1);
  }
  ExchangeResult result = PerformExchange({.url = server.Url()});
  for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) unsetenv(name);
  EXPECT_EQ(result.stage, ExchangeStage::kDone) << result.error;
  EXPECT_EQ(AsString(result.body), "direct");
}

TEST(Transport, ReportsEveryExchangeToTheObserver) {
  RawServer server(Answer(OkResponse("12345")));
  std::vector<ExchangeSummary> seen;
  HttpSettings settings{.onExchange = [&seen](const ExchangeSummary& s) { seen.push_back(s); }};
  PerformExchange(
      {.method = "POST", .url = server.Url("/a"), .body = AsBytes("abc"), .settings = &settings});
  PerformExchange({.url = "bad", .settings = &settings});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].url, server.Url("/a"));
  EXPECT_EQ(seen[0].status, 200);
  EXPECT_EQ(seen[0].bytesSent, 3u);
  EXPECT_EQ(seen[0].bytesReceived, 5u);
  EXPECT_EQ(seen[0].error, "");
  EXPECT_EQ(seen[1].status, 0);
  EXPECT_FALSE(seen[1].error.empty());
}

TEST(Transport, VerifiesCertificates) {
  auto routes = [](httplib::Server& server) {
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("secure", "text/plain");
    });
  };
  HttpServer localhost(routes, "localhost");
  HttpServer otherName(routes, "other");
  struct Case {
    std::string name;
    const HttpServer& server;
    HttpSettings settings;
    bool passes;
  };
  const Case cases[] = {
      {"unknown authority", localhost, {}, false},
      {"authority added", localhost, {.caFile = test::CertificateFile("localhost")}, true},
      {"verification off", localhost, {.insecure = true}, true},
      {"name mismatch despite the authority",
       otherName,
       {.caFile = test::CertificateFile("other")},
       false},
      {"name mismatch, verification off", otherName, {.insecure = true}, true},
  };
  for (const Case& c : cases) {
    ExchangeResult result = PerformExchange({.url = c.server.Url(), .settings = &c.settings});
    EXPECT_EQ(result.stage == ExchangeStage::kDone, c.passes) << c.name << ": " << result.error;
    EXPECT_EQ(AsString(result.body), c.passes ? "secure" : "") << c.name;
    if (!c.passes) {
      EXPECT_EQ(result.stage, ExchangeStage::kConnect) << c.name;
    }
  }
}

TEST(Transport, GoesThroughAnAuthenticatingProxy) {
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
  HttpServer plain(routes);
  HttpServer secure(routes, "localhost");
  HttpSettings trustTestCa{.caFile = test::CertificateFile("localhost")};
  struct Case {
    std::string name;
    const HttpServer& server;
    std::string user, password;
    ExchangeStage stage;
    long status;
  };
  const Case cases[] = {
      {"http, right credentials", plain, "user", "pass", ExchangeStage::kDone, 200},
      {"http, wrong credentials", plain, "user", "wrong", ExchangeStage::kDone, 401},
      {"http, no credentials", plain, "", "", ExchangeStage::kDone, 407},
      {"https, right credentials", secure, "user", "pass", ExchangeStage::kDone, 200},
      {"https, wrong credentials", secure, "user", "wrong", ExchangeStage::kConnect, 0},
      {"https, no credentials", secure, "", "", ExchangeStage::kConnect, 0},
  };
  for (const Case& c : cases) {
    ExchangeResult result = PerformExchange({.url = c.server.Url(),
                                             .proxy = proxy.Address(),
                                             .proxyUser = c.user,
                                             .proxyPassword = c.password,
                                             .settings = &trustTestCa});
    EXPECT_EQ(result.stage, c.stage) << c.name << ": " << result.error;
    EXPECT_EQ(result.status, c.status) << c.name;
    if (c.status == 200) {
      // Only the server's block: nothing of the proxy's answer to CONNECT.
      EXPECT_TRUE(result.headerBlock.starts_with("HTTP/1.1 200 OK\r\n")) << c.name;
      EXPECT_EQ(result.headerBlock.find("HTTP/", 1), std::string::npos) << c.name;
      EXPECT_EQ(AsString(result.body), "behind") << c.name;
    }
  }
}

}  // namespace
}  // namespace morvane
