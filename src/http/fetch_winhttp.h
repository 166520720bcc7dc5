#pragma once
// One HTTP exchange in the manner of a WinHTTP session: numbered failure texts
// ("700 ..." to "713 ...") in statusText, server and proxy credentials, the
// Location header, and pages whose meta tag names another charset decoded to
// GBK. Returns the body as text (up to its first zero byte).

#include <string_view>

#include "http/http_settings.h"
#include "text/text.h"

namespace morvane {

struct WinHttpOptions {
  int method = 0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT; anything else GET
  std::string_view postData = {};
  Text* cookies = nullptr;          // in/out; null means "not given"
  Text* receivedCookies = nullptr;  // out
  std::string_view extraHeaders = {};
  Text* responseHeaders = nullptr;  // out
  bool noRedirect = false;
  std::string_view user = {};
  std::string_view password = {};
  std::string_view proxy = {};
  std::string_view proxyUser = {};
  std::string_view proxyPassword = {};
  int timeoutSeconds = 0;         // per phase; below 1 means 30 seconds
  Text* location = nullptr;       // out
  Text* statusText = nullptr;     // out: "200 OK" or a numbered failure text
  Bytes* responseBody = nullptr;  // out
  bool mergeCookies = true;
  const HttpSettings* settings = nullptr;  // null: verify with the system store
};

Text FetchWithWinHttp(std::string_view url, const WinHttpOptions& options = {});

}  // namespace morvane
