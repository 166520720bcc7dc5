#include "service_emulator.h"

#include <csignal>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>

namespace morvane::emulator {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";

std::uint64_t Hash(std::string_view salt, std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (std::string_view part : {salt, std::string_view("|"), text}) {
    for (unsigned char c : part) {
      hash ^= c;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

std::string Hex(std::uint64_t value, size_t digits, bool upper = false) {
  const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text(digits, '0');
  for (size_t i = digits; i-- > 0; value >>= 4) text[i] = alphabet[value & 15];
  return text;
}

// A longer hex text made of several salted hashes.
std::string LongHex(std::string_view salt, std::string_view text, size_t digits) {
  std::string out;
  for (int round = 0; out.size() < digits; ++round) {
    out += Hex(Hash(std::string(salt) + char('0' + round), text), 16);
  }
  return out.substr(0, digits);
}

std::string Base62(std::uint64_t value, size_t digits) {
  static constexpr char kAlphabet[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string text;
  for (size_t i = 0; i < digits; ++i, value /= 62) text += kAlphabet[value % 62];
  return text;
}

std::string Number(std::uint64_t base, std::uint64_t span, std::uint64_t hash) {
  return std::to_string(base + hash % span);
}

std::string EscapeSlashes(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

// "{{name}}" in a page template replaced by its value.
std::string Fill(std::string_view page,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string out;
  out.reserve(page.size() + 256);
  while (!page.empty()) {
    auto open = page.find("{{");
    auto close = open == std::string_view::npos ? open : page.find("}}", open);
    if (close == std::string_view::npos) {
      out += page;
      break;
    }
    out += page.substr(0, open);
    auto name = page.substr(open + 2, close - open - 2);
    for (const auto& [key, value] : values) {
      if (key == name) out += value;
    }
    page.remove_prefix(close + 2);
  }
  return out;
}

// "a=1&b=2" as pairs, undecoded: what the client sent is what the tests see.
std::multimap<std::string, std::string> Fields(std::string_view text) {
  std::multimap<std::string, std::string> fields;
  while (!text.empty()) {
    auto end = text.find('&');
    auto field = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    auto equals = field.find('=');
    if (equals == std::string_view::npos) {
      fields.emplace(std::string(field), std::string());
    } else {
      fields.emplace(std::string(field.substr(0, equals)), std::string(field.substr(equals + 1)));
    }
  }
  return fields;
}

std::string Field(const std::multimap<std::string, std::string>& fields, const std::string& key) {
  auto found = fields.find(key);
  return found == fields.end() ? std::string("\x01missing") : found->second;
}

std::string Query(const std::string& target) {
  auto mark = target.find('?');
  return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

std::string RequestTarget(std::string_view head, const httplib::Request& request) {
  auto firstSpace = head.find(' ');
  auto secondSpace =
      firstSpace == std::string_view::npos ? firstSpace : head.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos) return request.target;
  return std::string(head.substr(firstSpace + 1, secondSpace - firstSpace - 1));
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace

ServiceEmulator::ServiceEmulator(EmulatorOptions options) : options_(std::move(options)) {
  // A client that hangs up while a TLS answer is written must not end the
  // process through SIGPIPE (OpenSSL writes with plain write()).
  std::signal(SIGPIPE, SIG_IGN);

  for (const char* name :
       {"chengtong_share", "chengtong_share_without_values", "lanzou_share",
        "lanzou_share_without_frame", "lanzou_frame", "lanzou_frame_without_values", "baidu_share",
        "baidu_share_without_data", "notice"}) {
    pages_[name] = ReadFile(std::string(MORVANE_EMULATOR_PAGES_DIR "/") + name + ".html");
  }

  auto certificate = CertificateFile();
  auto key = std::string(MORVANE_TEST_CERT_DIR "/localhost.key");
  http_ = std::make_unique<RecordingServer>();
  https_ = std::make_unique<RecordingSslServer>(certificate.c_str(), key.c_str());
  if (options_.serverThreads > 0) {
    auto pool = [threads = static_cast<size_t>(options_.serverThreads)]() -> httplib::TaskQueue* {
      return new httplib::ThreadPool(threads);
    };
    http_->new_task_queue = pool;
    https_->new_task_queue = pool;
  }
  Install(*http_, "http");
  Install(*https_, "https");
  http_->Prime();
  httpPort_ = http_->bind_to_any_port("127.0.0.1");
  if (https_->is_valid()) httpsPort_ = https_->bind_to_any_port("127.0.0.1");
  if (httpPort_ > 0) httpThread_ = std::thread([this] { http_->listen_after_bind(); });
  if (httpsPort_ > 0) httpsThread_ = std::thread([this] { https_->listen_after_bind(); });
  // stop() only reaches a server that already runs its accept loop.
  for (int i = 0; i < 500; ++i) {
    bool httpUp = httpPort_ <= 0 || http_->is_running();
    bool httpsUp = httpsPort_ <= 0 || https_->is_running();
    if (httpUp && httpsUp) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

ServiceEmulator::~ServiceEmulator() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  stopping_.notify_all();
  http_->stop();
  https_->stop();
  if (httpThread_.joinable()) httpThread_.join();
  if (httpsThread_.joinable()) httpsThread_.join();
}

bool ServiceEmulator::Running() const {
  return httpPort_ > 0 && httpsPort_ > 0 && http_->is_running() && https_->is_running();
}

std::string ServiceEmulator::HttpHost() const { return "127.0.0.1:" + std::to_string(httpPort_); }
std::string ServiceEmulator::HttpsHost() const { return "127.0.0.1:" + std::to_string(httpsPort_); }

std::string ServiceEmulator::CertificateFile() { return MORVANE_TEST_CERT_DIR "/localhost.crt"; }

EmulatorOptions ServiceEmulator::Options() const {
  std::lock_guard lock(mutex_);
  return options_;
}

void ServiceEmulator::SetOptions(EmulatorOptions options) {
  std::lock_guard lock(mutex_);
  options_ = std::move(options);
}

std::string ServiceEmulator::ChengtongShareUrl(std::string_view shareId, bool https) const {
  return (https ? HttpsBase() : HttpBase()) + "/file/" + std::string(shareId);
}

std::string ServiceEmulator::LanzouShareUrl(std::string_view shareId, bool https) const {
  return (https ? HttpsBase() : HttpBase()) + "/" + std::string(shareId);
}

std::string ServiceEmulator::BaiduShareUrl(std::string_view shareId, bool https) const {
  return (https ? HttpsBase() : HttpBase()) + "/s/1" + std::string(shareId);
}

std::string ServiceEmulator::NoticeUrl() const { return HttpBase() + "/notice.html"; }

ChengtongShare ServiceEmulator::Chengtong(std::string_view shareId) const {
  ChengtongShare share;
  share.uid = Number(1000000, 9000000, Hash("uid", shareId));
  share.fid = Number(100000000, 900000000, Hash("fid", shareId));
  share.fileChk = LongHex("chk", shareId, 16);
  share.downloadUrl = HttpsBase() + "/ctfile/" + share.fid +
                      "/setup.zip?ctt=1700000000&limit=1&chk=" + share.fileChk;
  return share;
}

LanzouShare ServiceEmulator::Lanzou(std::string_view shareId) const {
  LanzouShare share;
  share.framePath = "fn?" + Base62(Hash("frame", shareId), 11) + "_c";
  share.action = "downprocess";
  share.fileId = Number(10000000, 90000000, Hash("file", shareId));
  share.t = Number(1700000000, 1000000, Hash("t", shareId));
  share.k = LongHex("k", shareId, 32);
  share.dom = HttpsBase();
  share.url = "?" + Base62(Hash("url", shareId), 10) + "Bm" + Base62(Hash("url2", shareId), 10);
  share.downloadUrl = HttpsBase() + "/download/" + std::string(shareId) +
                      "/app-release.apk?st=" + LongHex("st", shareId, 22) + "&e=1700003600";
  return share;
}

BaiduShare ServiceEmulator::Baidu(std::string_view shareId) const {
  BaiduShare share;
  share.sign = LongHex("sign", shareId, 40);
  share.timestamp = Number(1700000000, 1000, Hash("timestamp", shareId));
  share.bdstoken = LongHex("bdstoken", shareId, 32);
  share.uk = Number(1000000000, 3000000000, Hash("uk", shareId));
  share.shareid = Number(10000000000, 90000000000, Hash("shareid", shareId));
  // 16 digits and below 2^53, as the service's file ids are.
  share.fsId = Number(1000000000000000, 8000000000000000, Hash("fs_id", shareId));
  share.appId = "250528";
  share.bdclnd = "Pf5zO%2B" + Base62(Hash("bdclnd", shareId), 11) +
                 Base62(Hash("bdclnd2", shareId), 11) + "%3D";
  share.downloadUrl = HttpBase() + "/baidu-file/" + LongHex("dlink", shareId, 32) +
                      "?fid=" + share.uk + "-" + share.appId + "-" + share.fsId +
                      "&time=1700000000&rt=sh&sign=FDTAER-DCb740ccc5511e5e8fedcff06b081203";
  return share;
}

std::vector<RecordedRequest> ServiceEmulator::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> ServiceEmulator::RequestsTo(std::string_view pathPrefix) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedRequest> matching;
  for (const auto& request : requests_) {
    if (std::string_view(request.path).substr(0, pathPrefix.size()) == pathPrefix) {
      matching.push_back(request);
    }
  }
  return matching;
}

void ServiceEmulator::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

void ServiceEmulator::SetObserver(std::function<void(const RecordedRequest&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

RecordedRequest ServiceEmulator::Record(const httplib::Request& request, std::string_view scheme) {
  RecordedRequest record;
  auto head = CurrentRawHead();
  record.scheme = scheme;
  record.method = request.method;
  record.target = RequestTarget(head, request);
  record.path = record.target.substr(0, record.target.find('?'));
  record.headerLines = HeaderLinesOfHead(head);
  record.body = request.body;
  std::function<void(const RecordedRequest&)> observer;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(record);
    observer = observer_;
  }
  if (observer) observer(record);
  return record;
}

void ServiceEmulator::Delay(std::chrono::milliseconds delay) {
  if (delay.count() <= 0) return;
  std::unique_lock lock(mutex_);
  stopping_.wait_for(lock, delay, [this] { return stopped_; });
}

httplib::Server::Handler ServiceEmulator::Wrap(std::string_view scheme, Handler handler) {
  return [this, scheme = std::string(scheme), handler = std::move(handler)](
             const httplib::Request& request, httplib::Response& response) {
    const RecordedRequest record = Record(request, scheme);
    auto options = Options();
    Delay(options.delay);
    if (options.delayOf) Delay(options.delayOf(record));
    handler(request, response, options, scheme);
  };
}

void ServiceEmulator::Install(httplib::Server& server, std::string_view scheme) {
  auto bind = [this](void (ServiceEmulator::*member)(const httplib::Request&, httplib::Response&,
                                                     const EmulatorOptions&)) {
    return [this, member](const httplib::Request& request, httplib::Response& response,
                          const EmulatorOptions& options,
                          std::string_view) { (this->*member)(request, response, options); };
  };
  // Routes match the whole path; "/file/" alone is Lanzou's redirect address,
  // "/file/<id>" a Chengtong share.
  server.Get(R"(/file/([A-Za-z0-9_-]+))", Wrap(scheme, bind(&ServiceEmulator::ChengtongPage)));
  server.Get("/get_file_url.php", Wrap(scheme, bind(&ServiceEmulator::ChengtongInterface)));
  server.Get(R"(/(i[A-Za-z0-9]+))", Wrap(scheme, bind(&ServiceEmulator::LanzouPage)));
  server.Get("/fn", Wrap(scheme, bind(&ServiceEmulator::LanzouFrame)));
  server.Post("/ajaxm.php", Wrap(scheme, bind(&ServiceEmulator::LanzouInterface)));
  server.Get("/file/", Wrap(scheme, bind(&ServiceEmulator::LanzouFile)));
  server.Get(R"(/s/1([A-Za-z0-9_-]+))", Wrap(scheme, bind(&ServiceEmulator::BaiduPage)));
  server.Post("/api/sharedownload", Wrap(scheme, bind(&ServiceEmulator::BaiduInterface)));
  server.Get("/notice.html", Wrap(scheme, bind(&ServiceEmulator::NoticePage)));
  // Download targets (and anything else) are recorded too, so that a test can
  // tell that a client never asked for them.
  auto download = [](const httplib::Request&, httplib::Response& response, const EmulatorOptions&,
                     std::string_view) {
    response.set_content(std::string("PK\x03\x04 emulated download", 22),
                         "application/octet-stream");
  };
  server.Get(R"(/(download|ctfile|baidu-file)/.*)", Wrap(scheme, download));
  auto notFound = [](const httplib::Request&, httplib::Response& response, const EmulatorOptions&,
                     std::string_view) {
    response.status = 404;
    response.set_content("<html><body>404 页面不存在</body></html>", kHtml);
  };
  server.Get(".*", Wrap(scheme, notFound));
  server.Post(".*", Wrap(scheme, notFound));
  server.Put(".*", Wrap(scheme, notFound));
  server.Delete(".*", Wrap(scheme, notFound));
}

std::string ServiceEmulator::Page(const std::string& name) const {
  auto found = pages_.find(name);
  return found == pages_.end() ? std::string() : found->second;
}

void ServiceEmulator::ChengtongPage(const httplib::Request& request, httplib::Response& response,
                                    const EmulatorOptions& options) {
  if (options.chengtongPageWithoutValues) {
    response.set_content(Page("chengtong_share_without_values"), kHtml);
    return;
  }
  std::string shareId = request.matches[1];
  auto share = Chengtong(shareId);
  {
    std::lock_guard lock(mutex_);
    chengtongByFid_[share.fid] = shareId;
  }
  response.set_content(Fill(Page("chengtong_share"), {{"fileName", "安装程序 setup.zip"},
                                                      {"fileSize", "12.5 MB"},
                                                      {"uid", share.uid},
                                                      {"fid", share.fid},
                                                      {"fileChk", share.fileChk}}),
                       kHtml);
}

void ServiceEmulator::ChengtongInterface(const httplib::Request& request,
                                         httplib::Response& response,
                                         const EmulatorOptions& options) {
  auto query = Fields(Query(request.target));
  std::string shareId;
  {
    std::lock_guard lock(mutex_);
    auto found = chengtongByFid_.find(Field(query, "fid"));
    if (found != chengtongByFid_.end()) shareId = found->second;
  }
  auto share = Chengtong(shareId);
  bool valid = !shareId.empty() && Field(query, "uid") == share.uid &&
               Field(query, "file_chk") == share.fileChk && Field(query, "verifycode").empty();
  if (!valid) {
    response.set_content(R"({"code":404,"message":"文件不存在或已被删除"})", kJson);
  } else if (options.chengtongAnswerWithoutDownurl) {
    response.set_content(R"({"code":503,"message":"服务器繁忙，请稍后再试"})", kJson);
  } else {
    response.set_content(R"({"code":200,"file_name":"安装程序 setup.zip","file_size":13107200,)"
                         R"("downurl":")" +
                             EscapeSlashes(share.downloadUrl) + R"("})",
                         kJson);
  }
}

void ServiceEmulator::LanzouPage(const httplib::Request& request, httplib::Response& response,
                                 const EmulatorOptions& options) {
  if (options.lanzouPageWithoutFrame) {
    response.set_content(Page("lanzou_share_without_frame"), kHtml);
    return;
  }
  std::string shareId = request.matches[1];
  auto share = Lanzou(shareId);
  {
    std::lock_guard lock(mutex_);
    lanzouByFrame_[share.framePath] = shareId;
  }
  response.set_content(Fill(Page("lanzou_share"), {{"fileName", "应用安装包 app-release.apk"},
                                                   {"fileSize", "23.6 M"},
                                                   {"frameName", share.t.substr(4)},
                                                   {"framePath", share.framePath}}),
                       kHtml);
}

void ServiceEmulator::LanzouFrame(const httplib::Request& request, httplib::Response& response,
                                  const EmulatorOptions& options) {
  std::string shareId;
  {
    std::lock_guard lock(mutex_);
    auto found = lanzouByFrame_.find(request.target.substr(1));
    if (found != lanzouByFrame_.end()) shareId = found->second;
  }
  if (shareId.empty() || options.lanzouFrameWithoutValues) {
    response.set_content(Page("lanzou_frame_without_values"), kHtml);
    return;
  }
  auto share = Lanzou(shareId);
  {
    std::lock_guard lock(mutex_);
    lanzouByFileId_[share.fileId] = shareId;
  }
  response.set_content(
      Fill(Page("lanzou_frame"),
           {{"action", share.action}, {"fileId", share.fileId}, {"t", share.t}, {"k", share.k}}),
      kHtml);
}

void ServiceEmulator::LanzouInterface(const httplib::Request& request, httplib::Response& response,
                                      const EmulatorOptions& options) {
  auto form = Fields(request.body);
  std::string shareId;
  {
    std::lock_guard lock(mutex_);
    auto found = lanzouByFileId_.find(Field(form, "file_id"));
    if (found != lanzouByFileId_.end()) shareId = found->second;
  }
  auto share = Lanzou(shareId);
  bool valid = !shareId.empty() && Field(form, "action") == share.action &&
               Field(form, "t") == share.t && Field(form, "k") == share.k;
  if (!valid) {
    response.set_content(R"({"zt":0,"inf":"已超时，请刷新"})", "text/json; charset=utf-8");
    return;
  }
  {
    std::lock_guard lock(mutex_);
    lanzouByToken_[share.url] = shareId;
  }
  std::string answer = R"({"zt":1)";
  if (!options.lanzouAnswerWithoutDom) answer += R"(,"dom":")" + EscapeSlashes(share.dom) + "\"";
  if (!options.lanzouAnswerWithoutUrl) answer += R"(,"url":")" + share.url + "\"";
  answer += R"(,"inf":"应用安装包 app-release.apk"})";
  response.set_content(answer, "text/json; charset=utf-8");
}

void ServiceEmulator::LanzouFile(const httplib::Request& request, httplib::Response& response,
                                 const EmulatorOptions& options) {
  std::string shareId;
  {
    std::lock_guard lock(mutex_);
    auto found = lanzouByToken_.find(request.target.substr(std::string_view("/file/").size()));
    if (found != lanzouByToken_.end()) shareId = found->second;
  }
  if (shareId.empty()) {
    response.status = 404;
    response.set_content("<html><body>链接已失效</body></html>", kHtml);
  } else if (options.lanzouFileWithoutLocation) {
    response.set_content("<html><body>正在进入下载页面……</body></html>", kHtml);
  } else {
    response.status = 302;
    response.set_header("Location", Lanzou(shareId).downloadUrl);
    response.set_content("<html><body>Moved</body></html>", kHtml);
  }
}

void ServiceEmulator::BaiduPage(const httplib::Request& request, httplib::Response& response,
                                const EmulatorOptions& options) {
  std::string shareId = request.matches[1];
  auto share = Baidu(shareId);
  std::string cookieHeader = request.get_header_value("Cookie");
  int cookieNumber = 0;
  {
    std::lock_guard lock(mutex_);
    baiduBySign_[share.sign] = shareId;
    cookieNumber = ++baiduCookieCount_;
  }
  // A visitor without an id gets one; the id ends in ":FG=1" as the service's does.
  if (cookieHeader.find("BAIDUID=") == std::string::npos) {
    response.set_header("Set-Cookie",
                        "BAIDUID=" + LongHex("baiduid", std::to_string(cookieNumber), 32) +
                            ":FG=1; expires=Thu, 31-Dec-37 23:55:55 GMT; "
                            "max-age=2147483647; path=/; version=1");
  }
  response.set_header("Set-Cookie", "PANWEB=1; path=/");
  if (options.baiduSetsBdclnd) {
    response.set_header("Set-Cookie", "BDCLND=" + share.bdclnd +
                                          "; expires=Thu, 14-Dec-2023 "
                                          "13:13:13 GMT; path=/; httponly");
  }
  if (options.baiduPageWithoutData) {
    response.set_content(Page("baidu_share_without_data"), kHtml);
    return;
  }
  auto secondFsId = Number(1000000000000000, 8000000000000000, Hash("second fs_id", shareId));
  response.set_content(Fill(Page("baidu_share"), {{"fileName", "资料合集.zip"},
                                                  {"sign", share.sign},
                                                  {"timestamp", share.timestamp},
                                                  {"bdstoken", share.bdstoken},
                                                  {"uk", share.uk},
                                                  {"shareid", share.shareid},
                                                  {"appId", share.appId},
                                                  {"fsId", share.fsId},
                                                  {"secondFsId", secondFsId}}),
                       kHtml);
}

void ServiceEmulator::BaiduInterface(const httplib::Request& request, httplib::Response& response,
                                     const EmulatorOptions& options) {
  auto query = Fields(Query(request.target));
  auto form = Fields(request.body);
  std::string shareId;
  {
    std::lock_guard lock(mutex_);
    auto found = baiduBySign_.find(Field(query, "sign"));
    if (found != baiduBySign_.end()) shareId = found->second;
  }
  auto share = Baidu(shareId);
  bool valid = !shareId.empty() && Field(query, "timestamp") == share.timestamp &&
               Field(query, "bdstoken") == share.bdstoken &&
               Field(query, "app_id") == share.appId && Field(form, "uk") == share.uk &&
               Field(form, "primaryid") == share.shareid && Field(form, "product") == "share" &&
               Field(form, "fid_list") == "%5B" + share.fsId + "%5D";
  if (!valid) {
    response.set_content(R"({"errno":2,"request_id":8402563891762536951})", kJson);
  } else if (options.baiduSetsBdclnd &&
             Field(form, "extra") != R"({"sekey":")" + share.bdclnd + R"("})") {
    response.set_content(R"({"errno":-9,"request_id":8402563891762536952})", kJson);
  } else if (options.baiduAnswerWithoutDlink) {
    response.set_content(R"({"errno":-20,"request_id":8402563891762536953,"vcode_str":)"
                         R"("3332423865613765","img":"https:\/\/pan.example\/genimage?3332"})",
                         kJson);
  } else {
    response.set_content(R"({"errno":0,"request_id":8402563891762536954,"server_time":1700000000,)"
                         R"("list":[{"fs_id":)" +
                             share.fsId + R"(,"server_filename":"资料合集.zip","dlink":")" +
                             EscapeSlashes(share.downloadUrl) + R"("}]})",
                         kJson);
  }
}

void ServiceEmulator::NoticePage(const httplib::Request&, httplib::Response& response,
                                 const EmulatorOptions& options) {
  response.set_content(Fill(Page("notice"), {{"version", options.noticeVersion}}), kHtml);
}

}  // namespace morvane::emulator
