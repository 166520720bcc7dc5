#pragma once
// One HTTP exchange in the manner of WinINet: default header lines, an agent
// text, cookies, proxy; no status and no error texts. Returns the body.

#include <string_view>

#include "http/http_settings.h"
#include "text/text.h"

namespace morvane {

struct WinInetOptions {
  int method = 0;  // 0 GET, 1 POST, 2 HEAD; anything else GET
  std::string_view postData = {};
  Text* cookies = nullptr;          // in/out; null means "not given"
  Text* receivedCookies = nullptr;  // out
  std::string_view extraHeaders = {};
  Text* responseHeaders = nullptr;  // out
  bool noRedirect = false;
  ByteView postBytes = {};
  std::string_view proxy = {};
  bool mergeCookies = true;
  const HttpSettings* settings = nullptr;  // null: verify with the system store
};

Bytes FetchWithWinInet(std::string_view url, const WinInetOptions& options = {});

}  // namespace morvane
