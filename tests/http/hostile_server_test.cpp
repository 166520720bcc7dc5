// Hostile servers and malformed answers against the transport, the three
// fetchers, the Chengtong resolver and the command line. Every call ends with
// the failure values of its fetcher, by its time-outs or its bounds, and the
// next call on the same thread still works.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "http/fetch_request_object.h"
#include "http/fetch_winhttp.h"
#include "http/fetch_wininet.h"
#include "http/transport.h"
#include "resolvers/chengtong.h"
#include "script/json_object.h"
#include "support/http_server.h"
#include "support/raw_server.h"
#include "text/charset.h"

namespace morvane {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::AsString;
using test::MakeResponse;
using test::RawReply;
using test::RawRequest;
using test::RawServer;
using test::ReplyStream;

// The WinHTTP-style failure texts, from the charset module rather than the
// fetcher's own byte escapes.
const Text kConnectFailed = Utf8ToGbk("703 创建WinHttp连接失败!");
const Text kNoResponse = Utf8ToGbk("712 服务器未响应!");
const Text kReadFailed = Utf8ToGbk("713 读取数据失败!");

// Sends head, then piece after piece, one per interval, until the client leaves.
RawServer::Handler Trickle(std::string head, std::string piece,
                           std::chrono::milliseconds interval) {
  return [head, piece, interval](const RawRequest&) {
    RawReply reply{head};
    reply.stream = [piece, interval](ReplyStream& stream) {
      while (stream.Pause(interval) && stream.Send(piece)) {
      }
    };
    return reply;
  };
}

// Body bytes follow the alphabet by position, so that a lost, doubled or
// misplaced piece shows.
constexpr std::size_t kPieceBytes = 26 * 40'000;

const std::string& AlphabetPiece() {
  static const std::string piece = [] {
    std::string text(kPieceBytes, 'a');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    return text;
  }();
  return piece;
}

bool FollowsTheAlphabet(std::string_view body) {
  for (std::size_t i = 0; i < body.size(); i += kPieceBytes) {
    std::string_view part = body.substr(i, kPieceBytes);
    if (part != std::string_view(AlphabetPiece()).substr(0, part.size())) return false;
  }
  return true;
}

enum class Framing { kLength, kChunked, kUntilClose };

// A body of size bytes, or an endless one for 0, made up as it goes: the
// server never holds more than one piece of it.
RawServer::Handler LargeBody(std::uint64_t size, Framing framing) {
  return [size, framing](const RawRequest&) {
    std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    if (framing == Framing::kLength) head += "Content-Length: " + std::to_string(size) + "\r\n";
    if (framing == Framing::kChunked) head += "Transfer-Encoding: chunked\r\n";
    RawReply reply{head + "\r\n"};
    reply.stream = [size, framing](ReplyStream& stream) {
      std::string_view piece = AlphabetPiece();
      for (std::uint64_t sent = 0; size == 0 || sent < size; sent += piece.size()) {
        if (size != 0) piece = piece.substr(0, std::min<std::uint64_t>(piece.size(), size - sent));
        std::ostringstream chunkHead;
        chunkHead << std::hex << piece.size() << "\r\n";
        bool going = framing == Framing::kChunked
                         ? stream.Send(chunkHead.str()) && stream.Send(piece) && stream.Send("\r\n")
                         : stream.Send(piece);
        if (!going) return;
      }
      if (framing == Framing::kChunked) stream.Send("0\r\n\r\n");
    };
    return reply;
  };
}

enum class Fetcher { kRequestObject, kWinHttp, kWinInet };

const char* NameOf(Fetcher fetcher) {
  switch (fetcher) {
    case Fetcher::kRequestObject:
      return "request object";
    case Fetcher::kWinHttp:
      return "WinHTTP";
    case Fetcher::kWinInet:
      return "WinINet";
  }
  return "";
}

// What a fetcher hands back: the body (the WinHTTP fetcher's text), and the
// status code of the request-object fetcher or the WinHTTP fetcher's status
// text; the WinINet fetcher has none.
struct Outcome {
  std::string body;
  std::string status;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << "{body " << outcome.body.size() << " bytes \"" << outcome.body.substr(0, 40)
       << "\", status \"" << GbkToUtf8(outcome.status) << "\"}";
}

// One call with per-phase time-outs of a second where the fetcher has them
// (the WinINet fetcher's are fixed at a minute).
Outcome Fetch(Fetcher fetcher, const std::string& url, const HttpSettings* settings = nullptr) {
  switch (fetcher) {
    case Fetcher::kRequestObject: {
      int status = -1;
      Bytes body = FetchWithRequestObject(
          url, {.status = &status, .timeoutSeconds = 1, .settings = settings});
      return {AsString(body), std::to_string(status)};
    }
    case Fetcher::kWinHttp: {
      Text statusText = "untouched";
      Text text = FetchWithWinHttp(
          url, {.timeoutSeconds = 1, .statusText = &statusText, .settings = settings});
      return {text, statusText};
    }
    case Fetcher::kWinInet:
      return {AsString(FetchWithWinInet(url, {.settings = settings})), ""};
  }
  return {};
}

constexpr Fetcher kAllFetchers[] = {Fetcher::kRequestObject, Fetcher::kWinHttp, Fetcher::kWinInet};

TEST(HostileServer, FailedExchangesGiveEachFetchersFailureValues) {
  test::SilentListener neverAccepts;
  RawServer neverAnswers([](const RawRequest&) { return RawReply{"", RawReply::Then::kHang}; });
  RawServer closesMidBody(Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf"));
  RawServer closesMidChunk(
      Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nhalf\r\n10\r\nabc"));
  RawServer redirectsForever([](const RawRequest& request) {
    std::string hop = request.RequestLine().substr(9);  // after "GET /hop/"
    int next = std::atoi(hop.c_str()) + 1;
    return RawReply{
        MakeResponse("HTTP/1.1 302 Found", {"Location: /hop/" + std::to_string(next)}, "moved")};
  });
  test::HttpServer otherName(
      [](httplib::Server& server) {
        server.Get("/", [](const httplib::Request&, httplib::Response& response) {
          response.set_content("secure", "text/plain");
        });
      },
      "other");
  std::string lastError;
  // The other server's own certificate is trusted; only its name is wrong.
  HttpSettings trustOther{
      .caFile = test::CertificateFile("other"),
      .onExchange = [&lastError](const ExchangeSummary& summary) { lastError = summary.error; }};
  RawServer healthy(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "ok")));

  const Outcome nothing{"", "0"}, noResponse{"", kNoResponse}, noConnection{"", kConnectFailed};
  const Outcome empty{};
  constexpr const char* kSilence = "no data for 1000 ms";
  struct Case {
    std::string name;
    std::string url;
    // Request object, WinHTTP, WinINet; no WinINet outcome where it would
    // wait its fixed minute of silence.
    Outcome expected[2];
    std::optional<Outcome> winInet;
    const char* cause = nullptr;  // the exchange's error text, where it is the transport's own
  };
  const Case cases[] = {
      {"never accepts", neverAccepts.Url(), {nothing, noResponse}, std::nullopt, kSilence},
      {"accepts, never answers", neverAnswers.Url(), {nothing, noResponse}, std::nullopt, kSilence},
      // The request-object fetcher hands back nothing of a cut body; the
      // WinHTTP fetcher hands back what arrived and says the read failed.
      {"closes mid-body",
       closesMidBody.Url(),
       {nothing, {"half", kReadFailed}},
       Outcome{"half", ""}},
      {"closes mid-chunk",
       closesMidChunk.Url(),
       {nothing, {"halfabc", kReadFailed}},
       Outcome{"halfabc", ""}},
      {"redirects forever", redirectsForever.Url("/hop/0"), {nothing, noResponse}, empty},
      {"certificate for another name", otherName.Url(), {nothing, noConnection}, empty},
  };
  for (const Case& c : cases) {
    for (Fetcher fetcher : kAllFetchers) {
      std::optional<Outcome> expected = fetcher == Fetcher::kRequestObject ? c.expected[0]
                                        : fetcher == Fetcher::kWinHttp     ? c.expected[1]
                                                                           : c.winInet;
      if (!expected) continue;
      SCOPED_TRACE(c.name + " through the " + NameOf(fetcher) + " fetcher");
      lastError = "none";
      EXPECT_EQ(Fetch(fetcher, c.url, &trustOther), *expected);
      if (c.cause != nullptr) {
        EXPECT_EQ(lastError, c.cause);
      }
      EXPECT_NE(lastError, "");
      // Nothing of the failure stays behind on this thread.
      EXPECT_EQ(Fetch(fetcher, healthy.Url()).body, "ok");
    }
  }
}

// Each exchange trusts the system's store plus its own CA file, never one of
// an earlier exchange, also on a request object that keeps its connections;
// a CA file that cannot be read fails the exchange and says which file.
TEST(HostileServer, EachExchangeTrustsOnlyItsOwnCaFile) {
  test::HttpServer localhost(
      [](httplib::Server& server) {
        server.Get("/", [](const httplib::Request&, httplib::Response& response) {
          response.set_content("secure", "text/plain");
        });
      },
      "localhost");
  const HttpSettings trusted{.caFile = test::CertificateFile("localhost")};
  const HttpSettings systemOnly{};
  const HttpSettings otherCa{.caFile = test::CertificateFile("other")};
  const HttpSettings missing{.caFile = test::CertificateFile("missing")};
  const std::string url = localhost.Url();
  RequestObject requestObject;
  for (bool reused : {false, true}) {
    SCOPED_TRACE(reused ? "one request object" : "an exchange each");
    auto fetch = [&](const HttpSettings& settings) {
      ExchangeRequest request{.url = url, .settings = &settings};
      return reused ? requestObject.Perform(request) : PerformExchange(request);
    };
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(fetch(trusted).stage, ExchangeStage::kDone);
      EXPECT_EQ(fetch(systemOnly).stage, ExchangeStage::kConnect);
      EXPECT_EQ(fetch(otherCa).stage, ExchangeStage::kConnect);
      ExchangeResult unreadable = fetch(missing);
      EXPECT_EQ(unreadable.stage, ExchangeStage::kConnect);
      EXPECT_NE(unreadable.error.find(missing.caFile), std::string::npos) << unreadable.error;
    }
  }
}

// Per-phase time-outs never catch a server that sends a byte now and then;
// the total bound does.
TEST(HostileServer, TricklingEndsAtTheTotalBound) {
  const struct {
    std::string name;
    std::string head, piece;
    ExchangeStage stage;
    long status;
  } cases[] = {
      // A header line counts as data once it is whole.
      {"in the header block", "HTTP/1.1 200 OK\r\n", "X-Slow: x\r\n", ExchangeStage::kResponse, 0},
      {"in the body", "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", "x",
       ExchangeStage::kBody, 200},
  };
  for (const auto& c : cases) {
    RawServer server(Trickle(c.head, c.piece, 200ms));
    ExchangeResult result =
        PerformExchange({.url = server.Url(), .idleTimeout = 1s, .totalTimeout = 2500ms});
    EXPECT_EQ(result.stage, c.stage) << c.name;
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.error, "not done within 2500 ms") << c.name;
    EXPECT_EQ(AsString(result.body).find_first_not_of('x'), std::string::npos) << c.name;
    EXPECT_EQ(server.Requests().size(), 1u) << c.name;
  }
}

TEST(HostileServer, TricklingOutlastsThePerPhaseTimeOut) {
  // Twelve bytes, one every 200 ms: over two seconds against a time-out of
  // one second per phase, and still a whole answer.
  RawServer server([](const RawRequest&) {
    RawReply reply{"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n"};
    reply.stream = [](ReplyStream& stream) {
      for (int i = 0; i < 12 && stream.Pause(200ms) && stream.Send("x"); ++i) {
      }
    };
    return reply;
  });
  EXPECT_EQ(Fetch(Fetcher::kRequestObject, server.Url()), (Outcome{std::string(12, 'x'), "200"}));
}

// The fetchers leave the bounds at the transport's, and no request gets past them.
TEST(HostileServer, FetchersRunUnderTheTransportBounds) {
  static_assert(kMaxExchangeDuration <= std::chrono::minutes(2));
  RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {}, "ok")));
  std::vector<ExchangeSummary> seen;
  HttpSettings observed{.onExchange = [&seen](const ExchangeSummary& s) { seen.push_back(s); }};
  for (Fetcher fetcher : kAllFetchers) Fetch(fetcher, server.Url(), &observed);
  PerformExchange({.url = server.Url(),
                   .totalTimeout = std::chrono::hours(1),
                   .maxBodyBytes = SIZE_MAX,
                   .settings = &observed});
  ASSERT_EQ(seen.size(), 4u);
  for (const ExchangeSummary& summary : seen) {
    EXPECT_EQ(summary.totalTimeout, kMaxExchangeDuration);
    EXPECT_EQ(summary.maxBodyBytes, kMaxBodyBytes);
  }
}

TEST(HostileServer, BodiesBeyondTheCapEndAtIt) {
  constexpr std::size_t kCap = 1 << 20;
  const struct {
    std::string name;
    std::uint64_t size;  // 0: endless
    Framing framing;
  } cases[] = {
      {"200 MB announced", 200'000'000, Framing::kLength},
      {"endless, chunked", 0, Framing::kChunked},
      {"endless, until the server closes", 0, Framing::kUntilClose},
  };
  for (const auto& c : cases) {
    for (bool asText : {false, true}) {
      SCOPED_TRACE(c.name + (asText ? " as text" : " as bytes"));
      RawServer server(LargeBody(c.size, c.framing));
      ExchangeResult result =
          PerformExchange({.url = server.Url(), .maxBodyBytes = kCap, .bodyAsText = asText});
      EXPECT_EQ(result.stage, ExchangeStage::kBody);
      EXPECT_EQ(result.status, 200);
      EXPECT_EQ(result.error, "body larger than 1048576 bytes");
      std::string body = asText ? result.bodyText : AsString(result.body);
      EXPECT_EQ(body.size(), kCap);
      EXPECT_TRUE(FollowsTheAlphabet(body));
    }
  }
}

long PeakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Under the cap a body arrives whole, held once. The bytes and the text path
// of the transport each take one run; the WinINet fetcher shares the first.
TEST(HostileServer, A200MegabyteBodyArrivesWhole) {
  constexpr std::uint64_t kSize = 200'000'000;
  RawServer server(LargeBody(kSize, Framing::kLength));
  [[maybe_unused]] long peakBefore = PeakResidentKilobytes();
  {
    Bytes body = FetchWithRequestObject(server.Url());
    EXPECT_EQ(body.size(), kSize);
    EXPECT_TRUE(FollowsTheAlphabet({reinterpret_cast<const char*>(body.data()), body.size()}));
  }
  {
    Text text = FetchWithWinHttp(server.Url());
    EXPECT_EQ(text.size(), kSize);
    EXPECT_TRUE(FollowsTheAlphabet(text));
  }
#if !defined(__SANITIZE_ADDRESS__)
  // One copy of the body at a time; a second anywhere would take the peak
  // past this.
  long grownKilobytes = PeakResidentKilobytes() - peakBefore;
  EXPECT_LT(grownKilobytes, static_cast<long>(kSize * 3 / 2 / 1024));
#endif
}

// libcurl takes a header line of 100 KB and refuses a longer one; either way
// the fetchers hand back whole values or their failure values.
TEST(HostileServer, HugeHeaderLines) {
  const std::string kilobytes100(100'000, 'v');
  const struct {
    std::string name;
    std::string line;
    bool taken;
    std::string cookies;
  } cases[] = {
      {"100 KB line", "X-Long: " + kilobytes100, true, ""},
      {"100 KB cookie", "Set-Cookie: big=" + kilobytes100 + "; Path=/", true,
       "big=" + kilobytes100},
      {"1 MB line", "X-Huge: " + std::string(1'000'000, 'v'), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(Answer(MakeResponse("HTTP/1.1 200 OK", {c.line, "X-After: 1"}, "body")));

    Text headers, received, statusText;
    Text text = FetchWithWinHttp(
        server.Url(),
        {.receivedCookies = &received, .responseHeaders = &headers, .statusText = &statusText});
    EXPECT_EQ(text, c.taken ? "body" : "");
    EXPECT_EQ(statusText, c.taken ? Text("200 OK") : kNoResponse);
    EXPECT_EQ(headers.find(c.line + "\r\nX-After: 1\r\n") != Text::npos, c.taken);
    EXPECT_EQ(received, c.cookies);

    int status = -1;
    Text requestObjectHeaders;
    Bytes body = FetchWithRequestObject(
        server.Url(), {.responseHeaders = &requestObjectHeaders, .status = &status});
    EXPECT_EQ(AsString(body), c.taken ? "body" : "");
    EXPECT_EQ(status, c.taken ? 200 : 0);
    EXPECT_EQ(requestObjectHeaders, headers);

    EXPECT_EQ(AsString(FetchWithWinInet(server.Url())), c.taken ? "body" : "");
  }
}

// A Chengtong share site on one server: the share page as given, and an
// interface that answers as given to the values of that page, and with no
// address to any others.
RawServer::Handler ChengtongSite(std::string page, std::string answer) {
  return [page, answer](const RawRequest& request) {
    std::string line = request.RequestLine();
    if (!line.starts_with("GET /get_file_url.php?")) {
      return RawReply{MakeResponse("HTTP/1.1 200 OK", {}, page)};
    }
    bool known = line.starts_with(
        "GET /get_file_url.php?uid=1193672&fid=276182671&file_chk=d672c3d1&verifycode= ");
    return RawReply{MakeResponse("HTTP/1.1 200 OK", {}, known ? answer : R"({"code":404})")};
  };
}

constexpr std::string_view kSharePage =
    "<a href=\"/abuse?uid=1193672&f=1\">\xE4\xB8\xBE\xE6\x8A\xA5</a>\n"
    "<script>free_down('276182671', 0, 'd672c3d1');</script>";
constexpr std::string_view kAnswer = R"({"code":200,"downurl":"http://dl.example/setup.zip"})";
constexpr std::string_view kLink = "http://dl.example/setup.zip";

std::string EveryByteButZero() {
  std::string bytes;
  for (int value = 1; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes;
}

// Many starts of the page pattern and no end: the search gives up at its limit.
std::string BacktrackingBait() {
  std::string page;
  for (int i = 0; i < 100'000; ++i) page += "abuse?uid=1&";
  return page;
}

// True when the text reads back the same through UTF-8: whole GBK characters
// only, no stray lead byte.
bool IsWholeGbk(std::string_view text) { return Utf8ToGbk(GbkToUtf8(text)) == text; }

// Pages and answers go through the UTF-8 conversion, the regular expressions
// and the JSON reader: bad bytes become replacement characters, and the values
// around them are still found.
TEST(HostileServer, BrokenCharsetsThroughTheResolver) {
  const std::string page(kSharePage), answer(kAnswer);
  const struct {
    std::string name;
    std::string page, answer;
    std::string link;
  } cases[] = {
      {"invalid UTF-8 around the values",
       "\xFF\xFE\xC0\xAF\xED\xA0\x80" + page + "\xF8\x88\x80\x80\x80\xE4\xB8", answer,
       std::string(kLink)},
      {"every byte value before the values", EveryByteButZero() + page, answer, std::string(kLink)},
      {"backtracking bait", BacktrackingBait(), answer, ""},
      // A lead byte without its trail byte becomes "?"; the quote after it
      // still closes the string.
      {"truncated GBK in the answer", page,
       R"({"code":200,"downurl":"http://dl.example/setup.zip)" + std::string("\xB0\"}"),
       std::string(kLink) + "?"},
  };
  for (const auto& c : cases) {
    RawServer server(ChengtongSite(c.page, c.answer));
    EXPECT_EQ(ResolveChengtongLink(server.Url("/f/1-2"), Settings{}), c.link) << c.name;
  }

  // Undecodable bytes inside the address come back as whole characters.
  RawServer server(ChengtongSite(page, "{\"downurl\":\"http://dl.example/\xFF\x80\xFE.zip\"}"));
  Text link = ResolveChengtongLink(server.Url("/f/1-2"), Settings{});
  EXPECT_TRUE(link.starts_with("http://dl.example/")) << link;
  EXPECT_TRUE(link.ends_with(".zip")) << link;
  EXPECT_TRUE(IsWholeGbk(link));
}

TEST(HostileServer, BrokenCharsetsThroughTheWinHttpCharsetStep) {
  // Overlong, surrogate, five-byte and truncated sequences in a page that
  // declares UTF-8.
  RawServer utf8(Answer(MakeResponse(
      "HTTP/1.1 200 OK", {},
      "<meta "
      "charset=\"utf-8\">\xFF\xC0\xAF\xED\xA0\x80[\xE4\xB8\xAD]\xF8\x88\x80\x80\x80\xE4\xB8")));
  Text text = FetchWithWinHttp(utf8.Url());
  EXPECT_TRUE(text.starts_with("<meta charset=\"utf-8\">")) << text;
  EXPECT_NE(text.find("[\xD6\xD0]"), Text::npos) << text;  // 中 in GBK
  EXPECT_TRUE(IsWholeGbk(text)) << text;

  // A GBK page that ends halfway through a character is handed back as sent.
  const std::string gbkPage = "<meta charset=\"gbk\">[\xD6\xD0]\xB0";
  RawServer gbk(Answer(MakeResponse("HTTP/1.1 200 OK", {}, gbkPage)));
  EXPECT_EQ(FetchWithWinHttp(gbk.Url()), gbkPage);
}

std::string Nested(std::size_t depth, std::string_view open, std::string_view close) {
  std::string text;
  text.reserve(depth * (open.size() + close.size()));
  for (std::size_t i = 0; i < depth; ++i) text += open;
  for (std::size_t i = 0; i < depth; ++i) text += close;
  return text;
}

// The JSON reader refuses deep nesting before the stack runs out, and the
// object stays usable.
TEST(HostileServer, JsonNestedHundredThousandDeep) {
  const struct {
    std::string name;
    std::string answer;
  } cases[] = {
      {"arrays", Nested(100'000, "[", "]")},
      {"objects", Nested(100'000, R"({"downurl":)", "}")},
      {"objects in arrays", Nested(50'000, R"([{"downurl":)", "}]")},
      {"never closed", std::string(100'000, '{')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JsonObject json;
    EXPECT_FALSE(json.Parse(c.answer));
    EXPECT_EQ(json.GetText("downurl"), "");
    EXPECT_EQ(json.MemberCount(), 0);
    EXPECT_TRUE(json.Parse(kAnswer));
    EXPECT_EQ(json.GetText("downurl"), kLink);

    RawServer server(ChengtongSite(std::string(kSharePage), c.answer));
    EXPECT_EQ(ResolveChengtongLink(server.Url("/f/1-2"), Settings{}), "");
  }
}

// The front end says which address failed, in one line, and exits with 1.
TEST(HostileServer, CommandLineNamesTheUrlOfAHostileSharePage) {
  const std::string page(kSharePage), answer(kAnswer);
  RawServer closesMidPage(Answer("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + page));
  RawServer redirectsForever(
      Answer(MakeResponse("HTTP/1.1 302 Found", {"Location: /f/again"}, "moved")));
  RawServer hugeHeaderLine(
      Answer(MakeResponse("HTTP/1.1 200 OK", {"X-Huge: " + std::string(1'000'000, 'v')}, page)));
  RawServer garbage(ChengtongSite(EveryByteButZero() + BacktrackingBait(), answer));
  RawServer deepAnswer(ChengtongSite(page, Nested(100'000, "[", "]")));
  for (const RawServer* server :
       {&closesMidPage, &redirectsForever, &hugeHeaderLine, &garbage, &deepAnswer}) {
    const std::string url = server->Url("/f/1-2");
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli({"morvane-cli", "--service", "chengtong", url}, in, out, err), 1) << url;
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "morvane-cli: " + url + ": no download address found\n");
  }
}

}  // namespace
}  // namespace morvane
