#include "http/transport.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace morvane {
namespace {

using Clock = std::chrono::steady_clock;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A value that reaches the wire never carries a line break: one inside a
// cookie or header value taken from a hostile page would add header lines.
std::string_view CutAtLineBreak(std::string_view text) {
  return text.substr(0, std::min(text.find_first_of("\r\n"), text.size()));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view LineName(std::string_view line) {
  std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? std::string_view{} : TrimSpaces(line.substr(0, colon));
}

// The system's trust locations as libcurl was built to use them, asked once
// before the transport's own options hide them.
struct SystemTrust {
  std::string file;
  std::string directory;
};

const SystemTrust& SystemTrustLocations() {
  // Never freed, like the stores made from it.
  static const SystemTrust* trust = [] {
    auto* found = new SystemTrust();
    if (CURL* easy = curl_easy_init()) {
      char* text = nullptr;
      if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &text) == CURLE_OK && text != nullptr) {
        found->file = text;
      }
      text = nullptr;
      if (curl_easy_getinfo(easy, CURLINFO_CAPATH, &text) == CURLE_OK && text != nullptr) {
        found->directory = text;
      }
      curl_easy_cleanup(easy);
    }
    return found;
  }();
  return *trust;
}

// The trust store of every verified handshake: the system's certificates plus
// those of a CA file, parsed once per file and shared by all handshakes after
// that. Left to itself libcurl parses the whole system bundle again at every
// handshake (its own store cache is off while a CA directory is set), which
// costs tens of milliseconds, far more than a loopback exchange.
X509_STORE* TrustStoreWith(const std::string& caFile) {
  static std::mutex mutex;
  // Never freed: handshakes on any thread may hold a store until the process ends.
  static auto* stores = new std::map<std::string, X509_STORE*>();
  std::lock_guard lock(mutex);
  auto [entry, added] = stores->try_emplace(caFile, nullptr);
  if (!added) return entry->second;
  X509_STORE* store = X509_STORE_new();
  if (store == nullptr) {
    stores->erase(entry);
    return nullptr;
  }
  const SystemTrust& system = SystemTrustLocations();
  // A location that cannot be read adds nothing; verification then fails
  // for want of a trusted root, never passes for want of a check.
  if (!system.file.empty()) X509_STORE_load_file(store, system.file.c_str());
  if (!system.directory.empty()) X509_STORE_load_path(store, system.directory.c_str());
  if (!caFile.empty()) X509_STORE_load_file(store, caFile.c_str());
  ERR_clear_error();
  // What libcurl sets on stores of its own: an intermediate in the CA file
  // is enough of an anchor.
  X509_STORE_set_flags(store, X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
  entry->second = store;
  return store;
}

CURLcode OnSslContext(CURL*, void* sslContext, void* user) {
  X509_STORE* store = TrustStoreWith(*static_cast<const std::string*>(user));
  if (store == nullptr || X509_STORE_up_ref(store) != 1) return CURLE_OUT_OF_MEMORY;
  SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(sslContext), store);  // takes the reference
  return CURLE_OK;
}

// Handing libcurl's OpenSSL contexts to our own OpenSSL calls is only sound
// when both speak of the same library.
bool CurlUsesOurOpenSsl() {
  static const bool same = [] {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    std::string expected = "OpenSSL/" + std::to_string(OPENSSL_VERSION_MAJOR) + ".";
    return info != nullptr && info->ssl_version != nullptr &&
           std::string_view(info->ssl_version).starts_with(expected);
  }();
  return same;
}

// Only for a libcurl over another TLS library: the system bundle and the CA
// file joined once per file, handed over as a blob that libcurl then parses
// at every handshake.
const std::string& CaBundleWith(const std::string& caFile) {
  static std::mutex mutex;
  static auto* bundles = new std::map<std::string, std::string>();
  std::lock_guard lock(mutex);
  auto [entry, added] = bundles->try_emplace(caFile);
  if (added) {
    for (const std::string& path : {SystemTrustLocations().file, caFile}) {
      std::ifstream file(path, std::ios::binary);
      entry->second.append(std::istreambuf_iterator<char>(file), {});
      entry->second += '\n';
    }
  }
  return entry->second;
}

// Sets how the server's certificate is checked; nothing is built before a TLS
// handshake asks for it, so a plain http exchange costs nothing here.
void SetTrust(CURL* easy, const HttpSettings* settings) {
  if (settings != nullptr && settings->insecure) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    return;
  }
  static const std::string kNoCaFile;
  const std::string& caFile = settings != nullptr ? settings->caFile : kNoCaFile;
  if (CurlUsesOurOpenSsl() &&
      curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, OnSslContext) == CURLE_OK) {
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &caFile);
    // libcurl loads nothing of its own then. Naming the CA file keeps
    // connections and TLS sessions verified against different files apart:
    // a reused connection or a resumed session is not verified again. It is
    // a small file, loaded before the shared store replaces libcurl's.
    curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.empty() ? nullptr : caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  } else if (!caFile.empty()) {
    const std::string& bundle = CaBundleWith(caFile);
    curl_blob blob{const_cast<char*>(bundle.data()), bundle.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
  }
}

// libcurl reads at most one buffer per turn of the multi loop; its default of
// 16 KB makes a large body cost thousands of turns.
constexpr long kReceiveBufferBytes = 512L * 1024;

enum class Phase { kConnecting, kSending, kHeaders, kBody };

// What the callbacks of one exchange share with its loop.
struct ExchangeState {
  CURL* easy = nullptr;
  ExchangeResult* result = nullptr;
  std::size_t maxBodyBytes = 0;
  bool bodyAsText = false;
  bool bodyTooLarge = false;
  bool bodyReserved = false;
  Phase phase = Phase::kConnecting;
  Clock::time_point lastActivity{};
};

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<ExchangeState*>(user);
  std::size_t length = size * count;
  std::string_view line(data, length);
  state.lastActivity = Clock::now();
  // Every response of a redirect chain (and every interim 1xx) passes here;
  // only the last one's block and body are kept.
  if (line.starts_with("HTTP/")) {
    state.result->headerBlock.clear();
    state.result->body.clear();
    state.result->bodyText.clear();
    state.bodyReserved = false;
    state.phase = Phase::kHeaders;
  }
  if (state.phase != Phase::kHeaders) return length;  // trailers of a chunked body
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) {
    state.phase = Phase::kBody;
  } else {
    state.result->headerBlock.append(line).append("\r\n");
  }
  return length;
}

template <typename Buffer>
std::size_t AppendBody(ExchangeState& state, Buffer& body, const char* data, std::size_t length) {
  if (!state.bodyReserved) {
    state.bodyReserved = true;
    curl_off_t announced = -1;
    if (curl_easy_getinfo(state.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
        announced > 0) {
      body.reserve(std::min(static_cast<std::size_t>(announced), state.maxBodyBytes));
    }
  }
  std::size_t room = state.maxBodyBytes - std::min(body.size(), state.maxBodyBytes);
  std::size_t taken = std::min(length, room);
  // Of the buffer's own type, so that the insert is one block copy.
  const auto* first = reinterpret_cast<const typename Buffer::value_type*>(data);
  body.insert(body.end(), first, first + taken);
  if (taken < length) {
    state.bodyTooLarge = true;
    return 0;  // any count but length ends the transfer
  }
  return length;
}

std::size_t OnBodyData(char* data, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<ExchangeState*>(user);
  state.lastActivity = Clock::now();
  state.phase = Phase::kBody;
  return state.bodyAsText ? AppendBody(state, state.result->bodyText, data, size * count)
                          : AppendBody(state, state.result->body, data, size * count);
}

int OnConnected(void* user, char*, char*, int, int) {
  auto& state = *static_cast<ExchangeState*>(user);
  state.phase = Phase::kSending;
  state.lastActivity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

int OnNewSocket(void* user, curl_socket_t, curlsocktype) {
  static_cast<ExchangeState*>(user)->phase = Phase::kConnecting;
  return CURL_SOCKOPT_OK;
}

struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  void Add(const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
  }
};

struct EasyHandle {
  CURL* easy = curl_easy_init();
  ~EasyHandle() {
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
};

bool IsBodyMethod(std::string_view method) { return method == "POST" || method == "PUT"; }

ExchangeStage StageOfFailure(CURLcode code, const ExchangeState& state, bool timedOut,
                             bool uploadComplete) {
  if (state.bodyTooLarge) return ExchangeStage::kBody;
  switch (code) {
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_TOO_MANY_REDIRECTS:
      // The address itself was checked before; this is a redirect gone wrong.
      return ExchangeStage::kResponse;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return ExchangeStage::kConnect;
    default:
      break;
  }
  switch (state.phase) {
    case Phase::kConnecting:
      return ExchangeStage::kConnect;
    case Phase::kSending:
      if (code == CURLE_SEND_ERROR || (timedOut && !uploadComplete)) return ExchangeStage::kSend;
      return ExchangeStage::kResponse;
    case Phase::kHeaders:
      return ExchangeStage::kResponse;
    case Phase::kBody:
      return ExchangeStage::kBody;
  }
  return ExchangeStage::kResponse;
}

// The bounds an exchange runs under: the request's own, never beyond the
// transport's.
std::chrono::milliseconds TotalBound(const ExchangeRequest& request) {
  return std::clamp(request.totalTimeout, std::chrono::milliseconds{1}, kMaxExchangeDuration);
}

std::size_t BodyBound(const ExchangeRequest& request) {
  return std::min(request.maxBodyBytes, kMaxBodyBytes);
}

void Run(CURLM* multi, const ExchangeRequest& request, bool keepConnection,
         ExchangeResult& result) {
  const std::chrono::milliseconds totalBound = TotalBound(request);
  const std::size_t bodyBound = BodyBound(request);
  if (!IsHttpUrl(request.url)) {
    result.stage = ExchangeStage::kAddress;
    result.error = "not an absolute http or https address";
    return;
  }
  EasyHandle handle;
  CURL* easy = handle.easy;
  if (multi == nullptr || easy == nullptr) {
    result.stage = ExchangeStage::kConnect;
    result.error = "libcurl could not start an exchange";
    return;
  }
  ExchangeState state{
      .easy = easy, .result = &result, .maxBodyBytes = bodyBound, .bodyAsText = request.bodyAsText};
  char errorText[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(easy, CURLOPT_URL, std::string(request.url).c_str());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  if (!keepConnection) curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  // The status text is cut from the status line at a fixed offset, which only
  // holds for HTTP/1.x.
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::max<std::int64_t>(1, request.connectTimeout.count())));
  // The multi loop ends the exchange at its total bound; libcurl's own check
  // stays as a backstop a second later, for any step that keeps the loop away.
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(totalBound.count() + 1000));

  // An explicit empty proxy and no-proxy list keep the environment's proxy
  // variables out of the exchange.
  curl_easy_setopt(easy, CURLOPT_PROXY, std::string(request.proxy).c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  if (!request.proxy.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!request.proxyUser.empty()) {
      curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, std::string(request.proxyUser).c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, std::string(request.proxyPassword).c_str());
    }
  }
  if (!request.user.empty()) {
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(easy, CURLOPT_USERNAME, std::string(request.user).c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, std::string(request.password).c_str());
  }
  if (!request.agent.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERAGENT, std::string(CutAtLineBreak(request.agent)).c_str());
  }

  SetTrust(easy, request.settings);

  static const char kNoBody[] = "";
  bool sendsBody = !request.body.empty() || IsBodyMethod(request.method);
  if (request.method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (sendsBody) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(
        easy, CURLOPT_POSTFIELDS,
        request.body.empty() ? kNoBody : reinterpret_cast<const char*>(request.body.data()));
    if (request.method != "POST") {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, std::string(request.method).c_str());
    }
  } else if (request.method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, std::string(request.method).c_str());
  }
  if (request.method == "HEAD") sendsBody = false;

  HeaderList headers;
  std::string cookieText;
  bool hasAccept = false, hasContentType = false, hasExpect = false;
  for (const std::string& rawLine : request.headerLines) {
    std::string_view line = CutAtLineBreak(rawLine);
    if (line.empty()) continue;
    std::string_view name = LineName(line);
    if (request.cookieEngine && EqualsIgnoringCase(name, "Cookie")) {
      // A Cookie line beside the jar would put two Cookie lines on the wire;
      // handed over as the exchange's cookie text it joins the jar's line.
      std::string_view value = TrimSpaces(line.substr(line.find(':') + 1));
      if (value.empty()) continue;
      if (!cookieText.empty()) cookieText += "; ";
      cookieText += value;
      continue;
    }
    hasAccept = hasAccept || EqualsIgnoringCase(name, "Accept");
    hasContentType = hasContentType || EqualsIgnoringCase(name, "Content-Type");
    hasExpect = hasExpect || EqualsIgnoringCase(name, "Expect");
    headers.Add(std::string(line));
  }
  // Lines libcurl would otherwise add on its own.
  if (!hasAccept) headers.Add("Accept:");
  if (sendsBody && !hasContentType) headers.Add("Content-Type:");
  if (!hasExpect) headers.Add("Expect:");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);
  if (request.cookieEngine) {
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    if (!cookieText.empty()) curl_easy_setopt(easy, CURLOPT_COOKIE, cookieText.c_str());
  }

  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeaderLine);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBodyData);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &state);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, OnNewSocket);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, &state);

  // libcurl's own low-speed check only looks once a second; the multi loop
  // measures silence itself, between any two pieces sent or received (a
  // header line counts once its line end has arrived). Silence
  // alone misses a server that trickles a byte now and then, so the loop also
  // ends the exchange at its total bound.
  CURLcode code = CURLE_OK;
  bool idleExpired = false;
  curl_off_t uploaded = 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + totalBound;
  state.lastActivity = start;
  curl_multi_add_handle(multi, easy);
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      code = CURLE_OUT_OF_MEMORY;
      break;
    }
    if (running == 0) {
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
          code = message->data.result;
        }
      }
      break;
    }
    Clock::time_point now = Clock::now();
    curl_off_t uploadedNow = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploadedNow);
    if (uploadedNow != uploaded) {
      uploaded = uploadedNow;
      state.lastActivity = now;
    }
    if (now >= deadline) {
      code = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    auto wait = std::min(std::chrono::milliseconds{1000},
                         std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    if (state.phase != Phase::kConnecting) {
      auto silence =
          std::chrono::duration_cast<std::chrono::milliseconds>(now - state.lastActivity);
      if (silence >= request.idleTimeout) {
        idleExpired = true;
        code = CURLE_OPERATION_TIMEDOUT;
        break;
      }
      wait = std::min(wait, request.idleTimeout - silence);
    }
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<std::int64_t>(1, wait.count())),
                    nullptr);
  }
  curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  long tunnelStatus = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
  curl_multi_remove_handle(multi, easy);
  // libcurl's own total time-out may have come first; either way it is the
  // bound that ended the exchange.
  bool totalExpired =
      code == CURLE_OPERATION_TIMEDOUT && !idleExpired && Clock::now() - start >= totalBound;

  if (code == CURLE_OK) {
    result.stage = ExchangeStage::kDone;
    result.status = status;
    return;
  }
  bool uploadComplete = static_cast<std::size_t>(uploaded) >= request.body.size();
  result.stage = StageOfFailure(code, state, code == CURLE_OPERATION_TIMEDOUT, uploadComplete);
  if (state.bodyTooLarge) {
    result.error = "body larger than " + std::to_string(bodyBound) + " bytes";
  } else if (idleExpired) {
    result.error = "no data for " + std::to_string(request.idleTimeout.count()) + " ms";
  } else if (totalExpired) {
    result.error = "not done within " + std::to_string(totalBound.count()) + " ms";
  } else {
    result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
  }
  if (tunnelStatus >= 300) {
    result.error += " (proxy answered " + std::to_string(tunnelStatus) + ")";
  }
  if (result.stage == ExchangeStage::kBody) {
    result.status = status;
  } else {
    result.headerBlock.clear();
    result.body.clear();
    result.bodyText.clear();
  }
}

}  // namespace

struct RequestObject::Pool {
  CURLM* multi = nullptr;
  bool busy = false;
  Pool() {
    InitCurlOnce();
    multi = curl_multi_init();
  }
  ~Pool() {
    if (multi != nullptr) curl_multi_cleanup(multi);
  }
};

namespace {

void ReportExchange(const ExchangeRequest& request, const ExchangeResult& result) {
  if (request.settings == nullptr || !request.settings->onExchange) return;
  bool sent = result.stage != ExchangeStage::kAddress && result.stage != ExchangeStage::kConnect;
  request.settings->onExchange(ExchangeSummary{
      .method = std::string(request.method),
      .url = std::string(request.url),
      .status = result.status,
      .bytesSent = sent ? request.body.size() : 0,
      .bytesReceived = result.body.size() + result.bodyText.size(),
      .error = result.error,
      .totalTimeout = TotalBound(request),
      .maxBodyBytes = BodyBound(request),
  });
}

}  // namespace

RequestObject::RequestObject() : pool_(std::make_unique<Pool>()) {}
RequestObject::~RequestObject() = default;

ExchangeResult RequestObject::Perform(const ExchangeRequest& request) {
  ExchangeResult result;
  Run(pool_->multi, request, true, result);
  ReportExchange(request, result);
  return result;
}

ExchangeResult PerformExchange(const ExchangeRequest& request) {
  // Setting up a multi handle costs about a tenth of a small exchange, so each
  // thread keeps one; the exchange's connection is closed when it ends.
  thread_local RequestObject::Pool threadPool;
  ExchangeResult result;
  if (threadPool.busy) {
    RequestObject::Pool nestedPool;
    Run(nestedPool.multi, request, false, result);
  } else {
    threadPool.busy = true;
    Run(threadPool.multi, request, false, result);
    threadPool.busy = false;
  }
  ReportExchange(request, result);
  return result;
}

bool IsHttpUrl(std::string_view url) {
  if (url.find('\0') != std::string_view::npos) return false;
  InitCurlOnce();
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return false;
  bool accepted = false;
  if (curl_url_set(parsed, CURLUPART_URL, std::string(url).c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    if (curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK) {
      std::string_view name(scheme);
      accepted = name == "http" || name == "https";
      curl_free(scheme);
    }
  }
  curl_url_cleanup(parsed);
  return accepted;
}

}  // namespace morvane
