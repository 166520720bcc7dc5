#include "http/url.h"

#include <limits>

namespace morvane {
namespace {

constexpr std::string_view kHttps = "https://";
constexpr std::string_view kHttp = "http://";

// The lower-cased address, ending in "/" and carrying a scheme, with the
// scheme marker that the host follows.
struct SchemedAddress {
  Text address;
  std::string_view scheme;
};

SchemedAddress WithScheme(std::string_view url) {
  SchemedAddress result{LowerCase(url), kHttp};
  // The authority always ends at a "/", even when the address has no path.
  if (result.address.empty() || result.address.back() != '/') result.address.push_back('/');
  if (result.address.starts_with(kHttps)) {
    result.scheme = kHttps;
  } else if (FindText(result.address, kHttp) == -1) {
    result.address.insert(0, kHttp);
  }
  return result;
}

}  // namespace

Text UrlHost(std::string_view url, bool includePort) {
  const SchemedAddress schemed = WithScheme(url);
  Text host = TextBetween(schemed.address, schemed.scheme, "/");
  const Position colon = FindText(host, ":");
  if (includePort || colon == -1) return host;
  return LeftBytes(host, colon - 1);
}

int UrlPort(std::string_view url) {
  const Text host = UrlHost(url, true);
  const Position colon = FindTextFromEnd(host, ":");
  if (colon == -1) return LowerCase(LeftBytes(url, 5)) == "https" ? 443 : 80;
  const long long port =
      TextToInteger(std::string_view(host).substr(static_cast<std::size_t>(colon)));
  // A port past the range of int is no port at all; clamp rather than wrap.
  if (port > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (port < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(port);
}

Text UrlPath(std::string_view url) {
  const Text host = UrlHost(url, false);
  // Look for the host only after the scheme: a host such as "t" or "p" would
  // otherwise be found inside "http://" itself and the path would start at "//".
  Position searchFrom = 1;
  const Text lowered = LowerCase(url);
  if (std::string_view(lowered).starts_with(kHttps)) {
    searchFrom = static_cast<Position>(kHttps.size()) + 1;
  } else if (const Position scheme = FindText(lowered, kHttp); scheme != -1) {
    searchFrom = scheme + static_cast<Position>(kHttp.size());
  }
  const Position hostAt = FindText(url, host, searchFrom, true);
  const Position slash = FindText(url, "/", hostAt == -1 ? searchFrom : hostAt, true);
  if (slash == -1) return "/";
  return Text(url.substr(static_cast<std::size_t>(slash - 1)));
}

}  // namespace morvane
