#pragma once
// The one HTTP exchange under every fetcher: a thin layer over libcurl that
// sends exactly the header lines it is given, keeps only the final response's
// header block, bounds every phase in time, and says at which stage an
// exchange stopped so that callers can name the failure in their own words.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_settings.h"
#include "text/text.h"

namespace morvane {

// Bounds that no exchange exceeds, whatever its request asks for.
//
// A server trickling one byte at a time defeats every idle time-out, so each
// exchange (its redirects included) ends after two minutes at most: twice the
// longest idle time-out of the fetchers, and far beyond what a page of these
// services takes even on a slow line.
inline constexpr std::chrono::milliseconds kMaxExchangeDuration{120'000};
// An endless body would eat all memory. The pages and answers of the services
// are a few megabytes at most, but a caller may fetch a file; 256 MiB keeps
// any real answer whole and still fits in memory several times over. The body
// is held once, in a buffer reserved from Content-Length, so memory stays
// proportional to what arrived.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{256} << 20;
inline constexpr long kMaxRedirects = 20;

// Where an exchange stopped. kDone means a whole response arrived, whatever
// its status code.
enum class ExchangeStage {
  kDone,
  kAddress,   // the address was rejected before anything went out
  kConnect,   // name lookup, connection, TLS handshake or proxy tunnel failed
  kSend,      // the request could not be sent in full
  kResponse,  // no complete response header block arrived
  kBody,      // the body broke off, stalled or outgrew maxBodyBytes
};

struct ExchangeRequest {
  std::string_view method = "GET";  // HEAD is sent without reading a body
  std::string_view url = {};
  // "Name: value" lines sent in this order, nothing added by the library but
  // Host, Content-Length and credentials. A value is cut at its first CR or LF.
  std::vector<std::string> headerLines = {};
  // Sent when not empty; POST and PUT always carry a body (Content-Length: 0).
  ByteView body = {};
  // User-Agent when no header line carries one; empty sends none.
  std::string_view agent = {};
  // Host and port of an HTTP proxy; empty is a direct connection, whatever the
  // environment's proxy variables say.
  std::string_view proxy = {};
  std::string_view proxyUser = {};  // Basic proxy credentials when not empty
  std::string_view proxyPassword = {};
  std::string_view user = {};  // Basic server credentials when not empty
  std::string_view password = {};
  // Name lookup, connection and TLS handshake together.
  std::chrono::milliseconds connectTimeout{60'000};
  // Longest silence while sending or receiving.
  std::chrono::milliseconds idleTimeout{60'000};
  // The whole exchange, redirects included; at most kMaxExchangeDuration.
  std::chrono::milliseconds totalTimeout = kMaxExchangeDuration;
  // A longer body ends the exchange at kBody; at most kMaxBodyBytes.
  std::size_t maxBodyBytes = kMaxBodyBytes;
  bool followRedirects = true;
  // A cookie jar that lives for this exchange only, so a cookie set by an
  // intermediate redirect reaches the next address. Cookie header lines are
  // then merged with the jar's cookies into one line.
  bool cookieEngine = false;
  // Collects the body in ExchangeResult::bodyText instead of body, for a
  // caller that hands it on as a text: a large body is then never copied.
  bool bodyAsText = false;
  const HttpSettings* settings = nullptr;  // null: verify with the system store
};

struct ExchangeResult {
  ExchangeStage stage = ExchangeStage::kDone;
  long status = 0;  // of the final response; 0 when none arrived
  // The final response's status line and header lines, each ended by CR LF;
  // nothing of earlier redirect or interim responses.
  Text headerBlock;
  // The final response's body; after a kBody failure the bytes that arrived.
  Bytes body;
  Text bodyText;      // the same, when bodyAsText was asked for
  std::string error;  // empty when stage is kDone; plain words otherwise
};

// A reusable exchange handle: exchanges run one after the other on it share
// open connections and name lookups. Nothing else survives an exchange, in
// particular no cookie. Use it from one thread at a time.
class RequestObject {
 public:
  RequestObject();
  ~RequestObject();
  RequestObject(const RequestObject&) = delete;
  RequestObject& operator=(const RequestObject&) = delete;

  ExchangeResult Perform(const ExchangeRequest& request);

 private:
  friend ExchangeResult PerformExchange(const ExchangeRequest& request);
  struct Pool;
  std::unique_ptr<Pool> pool_;
};

// One exchange on its own connection, closed when the exchange ends.
ExchangeResult PerformExchange(const ExchangeRequest& request);

// True when libcurl's URL parser accepts url as an absolute http or https
// address.
bool IsHttpUrl(std::string_view url);

}  // namespace morvane
