#include "http/url.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(UrlTest, HostPortAndPath) {
  struct Case {
    const char* url;
    const char* host;
    const char* hostWithPort;
    int port;
    const char* path;
  };
  const Case cases[] = {
      {"http://pan.example.com/a/b?c=D", "pan.example.com", "pan.example.com", 80, "/a/b?c=D"},
      {"HTTPS://PAN.EXAMPLE.COM:8443/X", "pan.example.com", "pan.example.com:8443", 8443, "/X"},
      {"https://pan.example.com", "pan.example.com", "pan.example.com", 443, "/"},
      {"pan.example.com/p", "pan.example.com", "pan.example.com", 80, "/p"},
      {"http://pan.example.com:81", "pan.example.com", "pan.example.com:81", 81, "/"},
      // A query right after the host stays in the host.
      {"http://pan.example.com?x=1", "pan.example.com?x=1", "pan.example.com?x=1", 80, "/"},
      // User information is not recognised: the text after its colon is no number.
      {"http://user:pw@pan.example.com/f", "user", "user:pw@pan.example.com", 0, "/f"},
      // Without a scheme, a "http://" further on names the host.
      {"x.example.com/go?u=http://inner.example.com/f", "inner.example.com", "inner.example.com",
       80, "/f"},
      {"pan.example.com:abc", "pan.example.com", "pan.example.com:abc", 0, "/"},
      // Hosts that also occur inside the scheme are looked for after it.
      {"http://t/a", "t", "t", 80, "/a"},
      {"https://tps:9/Q", "tps", "tps:9", 9, "/Q"},
      {"", "", "", 80, "/"},
      {"http://h:99999999999/", "h", "h:99999999999", 2147483647, "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(UrlHost(c.url), c.host);
    EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort);
    EXPECT_EQ(UrlPort(c.url), c.port);
    EXPECT_EQ(UrlPath(c.url), c.path);
  }
}

}  // namespace
}  // namespace morvane
