#pragma once
// One HTTP exchange in the manner of a scriptable request object: default
// header lines, cookies sent and merged, proxy with Basic credentials,
// per-phase time-outs. Failures are values: an empty body and status 0.

#include <string_view>

#include "http/http_settings.h"
#include "text/text.h"

namespace morvane {

class RequestObject;  // A reusable exchange handle; see http/transport.h.

struct RequestObjectOptions {
  int method = 0;  // 0 GET, 1 POST, 2 HEAD; anything else GET
  std::string_view postData = {};
  Text* cookies = nullptr;          // in/out; null means "not given"
  Text* receivedCookies = nullptr;  // out
  Text* extraHeaders = nullptr;     // in/out: receives the lines as sent
  Text* responseHeaders = nullptr;  // out
  int* status = nullptr;            // out
  bool noRedirect = false;
  ByteView postBytes = {};  // sent instead of postData when not empty
  std::string_view proxy = {};
  int timeoutSeconds = 0;  // -1: library defaults; >= 1: seconds; else 15
  std::string_view proxyUser = {};
  std::string_view proxyPassword = {};
  int proxyAuthMode = 1;  // 1: Basic Proxy-Authorization header
  RequestObject* requestObject = nullptr;
  bool mergeCookies = true;
  const HttpSettings* settings = nullptr;  // null: verify with the system store
};

Bytes FetchWithRequestObject(std::string_view url, const RequestObjectOptions& options = {});

}  // namespace morvane
