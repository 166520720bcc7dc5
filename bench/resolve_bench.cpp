// End-to-end resolves of each service against a loopback server, each beside
// the same HTTP exchanges made with bare libcurl in the same run. The figure
// to watch is overhead_ratio: resolver time over bare-exchange time.
//
// Both sides verify the HTTPS server. The fetchers trust the system's CA
// bundle plus the test certificate (a store built once per CA file); the bare
// exchanges trust the test certificate alone, the cheapest store libcurl can
// load, so the ratio never flatters us. The plain-HTTP Baidu exchanges carry
// no CA file.
// The HTTPS server uses the build tree's test certificate
// (<build>/test-certificates, made when the tests are configured); without it
// the Chengtong and Lanzou benchmarks are skipped.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "resolvers/baidu.h"
#include "resolvers/chengtong.h"
#include "resolvers/lanzou.h"

namespace {

using Clock = std::chrono::steady_clock;

// Share pages run to tens of kilobytes of Chinese text; the padding gives the
// conversions and searches a page of that size to work on.
std::string Padding(int paragraphs) {
  std::string text;
  for (int i = 0; i < paragraphs; ++i) {
    text +=
        "<p class=\"tip\">为保障您的下载速度，推荐使用客户端下载。文件分享服务由网盘提供，"
        "请勿上传违规内容。第" +
        std::to_string(i) + "段说明。</p>\n";
  }
  return text;
}

const std::string kMeta =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"/>\n";

std::string Page(const std::string& title, const std::string& core) {
  return "<!DOCTYPE html>\n<html>\n<head>\n" + kMeta + "<title>" + title +
         "</title>\n</head>\n<body>\n" + Padding(60) + core + Padding(60) + "</body>\n</html>\n";
}

class LoopbackServices {
 public:
  LoopbackServices() {
    auto certificates =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() /
        "test-certificates";
    caFile_ = (certificates / "localhost.crt").string();
    auto key = (certificates / "localhost.key").string();
    if (std::filesystem::exists(caFile_) && std::filesystem::exists(key)) {
      https_ = std::make_unique<httplib::SSLServer>(caFile_.c_str(), key.c_str());
    }
    Install(http_);
    httpPort_ = http_.bind_to_any_port("127.0.0.1");
    threads_.emplace_back([this] { http_.listen_after_bind(); });
    if (https_ && https_->is_valid()) {
      Install(*https_);
      httpsPort_ = https_->bind_to_any_port("127.0.0.1");
      threads_.emplace_back([this] { https_->listen_after_bind(); });
    }
    while (!http_.is_running() || (httpsPort_ > 0 && !https_->is_running())) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  ~LoopbackServices() {
    http_.stop();
    if (https_) https_->stop();
    for (auto& thread : threads_) thread.join();
  }

  bool HasHttps() const { return httpsPort_ > 0; }
  std::string HttpBase() const { return "http://127.0.0.1:" + std::to_string(httpPort_); }
  std::string HttpsHost() const { return "127.0.0.1:" + std::to_string(httpsPort_); }
  std::string HttpsBase() const { return "https://" + HttpsHost(); }

  morvane::Settings Settings() const {
    morvane::Settings settings;
    settings.lanzouHost = HttpsHost();
    settings.baiduHost = "127.0.0.1:" + std::to_string(httpPort_);
    settings.http.caFile = caFile_;
    return settings;
  }
  const std::string& CaFile() const { return caFile_; }

  std::string ChengtongDownload() const { return "https://127.0.0.1/ctfile/276182671/setup.zip"; }
  std::string LanzouDownload() const {
    return HttpsBase() + "/download/app-release.apk?e=1700003600";
  }
  std::string BaiduDownload() const { return "http://127.0.0.1/baidu-file/3fa8?fid=1-250528-1"; }

 private:
  static std::string Escape(const std::string& url) {
    std::string out;
    for (char c : url) {
      if (c == '/') out += '\\';
      out += c;
    }
    return out;
  }

  void Install(httplib::Server& server) {
    // Answers go out in several writes; without this, Nagle's algorithm and
    // delayed acknowledgements would put tens of milliseconds into each.
    server.set_tcp_nodelay(true);
    const char* html = "text/html; charset=utf-8";
    server.Get("/file/ct1", [=](const httplib::Request&, httplib::Response& response) {
      response.set_content(
          Page("安装程序 - 诚通网盘",
               "<a href=\"/abuse?uid=1193672&fid=276182671\">举报此文件</a>\n" + Padding(10) +
                   "<a onclick=\"free_down('276182671', 0, 'd672c3d136eaa0f8', "
                   "0);\">普通下载</a>\n"),
          html);
    });
    server.Get("/get_file_url.php", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(
          R"({"code":200,"file_name":"安装程序","downurl":")" + Escape(ChengtongDownload()) + "\"}",
          "application/json");
    });
    server.Get("/ilz1", [=](const httplib::Request&, httplib::Response& response) {
      response.set_content(Page("应用 - 蓝奏云",
                                "<iframe class=\"ifr2\" name=\"570357\"\n"
                                "src=\"/fn?QvAZQAXWsp1_c\" frameborder=\"0\"></iframe>\n"),
                           html);
    });
    server.Get("/fn", [=](const httplib::Request&, httplib::Response& response) {
      response.set_content(
          Page("下载",
               "<script>\n\tvar pposturl = 'downprocess';\n"
               "\tvar ispostdowns = '37110265';\n\tvar lhts = '1700570357';\n"
               "\tvar wsk_sign = '5b0c1f0e2a3d4c5b6a7980a1b2c3d4e5';\n</script>\n"),
          html);
    });
    server.Post("/ajaxm.php", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(
          R"({"zt":1,"dom":")" + Escape(HttpsBase()) + R"(","url":"?QvAZQAXWsp1BmX","inf":"应用"})",
          "text/json");
    });
    server.Get("/file/", [this](const httplib::Request&, httplib::Response& response) {
      response.status = 302;
      response.set_header("Location", LanzouDownload());
      response.set_content("Moved", "text/html");
    });
    server.Get("/s/1bd1", [=](const httplib::Request& request, httplib::Response& response) {
      if (!request.has_header("Cookie")) {
        response.set_header(
            "Set-Cookie",
            "BAIDUID=C5618AED69E30044BA9851ED632D0B5F:FG=1; max-age=2147483647; path=/");
      }
      response.set_header("Set-Cookie", "PANWEB=1; path=/");
      response.set_content(
          Page("资料合集.zip_百度网盘",
               "<script>\nyunData.setData({\n  \"sign\": \"3f1a0c9e\",\n  \"timestamp\": "
               "1700000123,\n"
               "  \"bdstoken\": \"a1b2c3\",\n  \"uk\": 2889076181,\n  \"shareid\": 46021771234,\n"
               "  \"file_list\": {\"errno\": 0, \"list\": [\n    {\"app_id\": \"250528\", "
               "\"fs_id\": "
               "1234567890123456, \"server_filename\": \"资料合集.zip\"}\n  ]}\n});\n</script>\n"),
          html);
    });
    server.Post("/api/sharedownload", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(R"({"errno":0,"list":[{"fs_id":1234567890123456,"dlink":")" +
                               Escape(BaiduDownload()) + "\"}]}",
                           "application/json");
    });
  }

  std::string caFile_;
  httplib::Server http_;
  std::unique_ptr<httplib::SSLServer> https_;
  int httpPort_ = -1;
  int httpsPort_ = -1;
  std::vector<std::thread> threads_;
};

LoopbackServices& Services() {
  static LoopbackServices services;
  return services;
}

// One bare libcurl exchange: a fresh handle, the given header lines, body and
// headers collected, nothing else.
struct BareExchange {
  std::string url = {};
  std::vector<std::string> headerLines = {};
  std::string postData = {};
  bool post = false;
  bool followRedirects = true;
};

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

std::string Perform(const BareExchange& exchange, std::string* headers = nullptr) {
  std::string body, headerBlock;
  CURL* easy = curl_easy_init();
  curl_slist* lines = nullptr;
  for (const auto& line : exchange.headerLines) lines = curl_slist_append(lines, line.c_str());
  curl_easy_setopt(easy, CURLOPT_URL, exchange.url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lines);
  if (exchange.url.rfind("https:", 0) == 0) {
    // The cheapest trust store there is: the test certificate alone.
    curl_easy_setopt(easy, CURLOPT_CAINFO, Services().CaFile().c_str());
  }
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, exchange.followRedirects ? 1L : 0L);
  if (exchange.post) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, exchange.postData.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, Collect);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headerBlock);
  curl_easy_perform(easy);
  curl_slist_free_all(lines);
  curl_easy_cleanup(easy);
  if (headers != nullptr) *headers = std::move(headerBlock);
  return body;
}

std::vector<std::string> RequestObjectLines(const std::string& url, const char* agent) {
  return {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", agent,
          "Content-Type: application/x-www-form-urlencoded"};
}

constexpr const char* kMsie = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr const char* kChrome =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/55.0.2883.87 Safari/537.36";

std::vector<std::string> WinHttpLines(const std::string& cookie) {
  std::vector<std::string> lines = {
      "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
      "Accept: text/html, application/xhtml+xml, */*",
      "Accept-Encoding: gbk, GB2312",
      "Accept-Language: zh-cn",
      "Content-Type: application/x-www-form-urlencoded",
      "Cache-Control: no-cache"};
  if (!cookie.empty()) lines.push_back("Cookie: " + cookie);
  return lines;
}

void BareChengtong() {
  auto share = Services().HttpsBase() + "/file/ct1";
  benchmark::DoNotOptimize(Perform({share, RequestObjectLines(share, kMsie)}));
  auto api = Services().HttpsBase() +
             "/get_file_url.php?uid=1193672&fid=276182671&file_chk=d672c3d136eaa0f8&verifycode=";
  benchmark::DoNotOptimize(Perform({api, RequestObjectLines(api, kMsie)}));
}

void BareLanzou() {
  auto share = Services().HttpsBase() + "/ilz1";
  auto lines = RequestObjectLines(share, kMsie);
  lines.insert(lines.begin(), kChrome);
  lines.erase(lines.begin() + 4);
  benchmark::DoNotOptimize(Perform({share, lines}));
  auto frame = Services().HttpsBase() + "/fn?QvAZQAXWsp1_c";
  lines[2] = "Referer: " + frame;
  benchmark::DoNotOptimize(Perform({frame, lines}));
  auto post = RequestObjectLines(frame, kMsie);
  benchmark::DoNotOptimize(Perform({Services().HttpsBase() + "/ajaxm.php", post,
                                    "action=downprocess&file_id=37110265&t=1700570357&k="
                                    "5b0c1f0e2a3d4c5b6a7980a1b2c3d4e5",
                                    true}));
  auto file = Services().HttpsBase() + "/file/?QvAZQAXWsp1BmX";
  std::string headers;
  Perform({file, RequestObjectLines(file, kMsie), "", false, false}, &headers);
  benchmark::DoNotOptimize(headers);
}

void BareBaidu() {
  auto share = Services().HttpBase() + "/s/1bd1";
  std::string headers;
  Perform({share, WinHttpLines(""), "", false, false}, &headers);
  auto cookie = "BAIDUID=C5618AED69E30044BA9851ED632D0B5F:";
  benchmark::DoNotOptimize(Perform({share, WinHttpLines(cookie)}));
  auto lines = WinHttpLines(std::string("PANWEB=1; ") + cookie);
  lines.insert(lines.begin(), "Referer:" + share);
  benchmark::DoNotOptimize(
      Perform({Services().HttpBase() +
                   "/api/sharedownload?sign=3f1a0c9e&timestamp=1700000123&bdstoken=a1b2c3&channel="
                   "chunlei&clienttype=0&web=1&app_id=250528&logid="
                   "MTcwMDAwMDAwMDAwMC4xMjM0NTY3ODkwMTIzNDU2Nzg5",
               lines,
               "encrypt=0&product=share&uk=2889076181&primaryid=46021771234&vcode_input=&vcode_"
               "str=&extra=&fid_list=%5B1234567890123456%5D",
               true}));
}

class NullWindow final : public morvane::WindowOperations {
 public:
  morvane::Text ReadControlText(std::string_view) override { return {}; }
  void WriteControlText(std::string_view, std::string_view text) override { result = text; }
  void ShowMessageBox(std::string_view, std::string_view) override {}
  morvane::Text result;
};

// Runs the bare exchanges and the resolver alternately, so that both see the
// same machine state, and reports the resolver's time per iteration.
template <class Bare, class Resolve>
void Compare(benchmark::State& state, Bare bare, Resolve resolve, const std::string& expected) {
  if (resolve() != expected) {
    state.SkipWithError("the resolver did not produce the expected address");
    return;
  }
  std::chrono::duration<double> bareTotal{0}, resolverTotal{0};
  for (auto _ : state) {
    auto start = Clock::now();
    bare();
    auto middle = Clock::now();
    benchmark::DoNotOptimize(resolve());
    auto end = Clock::now();
    bareTotal += middle - start;
    resolverTotal += end - middle;
    state.SetIterationTime(std::chrono::duration<double>(end - middle).count());
  }
  auto iterations = static_cast<double>(state.iterations());
  state.counters["bare_curl_us"] = bareTotal.count() * 1e6 / iterations;
  state.counters["resolver_us"] = resolverTotal.count() * 1e6 / iterations;
  state.counters["overhead_ratio"] = resolverTotal.count() / bareTotal.count();
}

void BM_ResolveChengtong(benchmark::State& state) {
  if (!Services().HasHttps()) return state.SkipWithError("no test certificate in the build tree");
  auto settings = Services().Settings();
  auto share = Services().HttpsBase() + "/file/ct1";
  Compare(
      state, BareChengtong, [&] { return morvane::ResolveChengtongLink(share, settings); },
      Services().ChengtongDownload());
}

void BM_ResolveLanzou(benchmark::State& state) {
  if (!Services().HasHttps()) return state.SkipWithError("no test certificate in the build tree");
  auto settings = Services().Settings();
  auto share = Services().HttpsBase() + "/ilz1";
  NullWindow window;
  Compare(
      state, BareLanzou,
      [&] {
        window.result.clear();
        morvane::ResolveLanzouLink(share, window, settings);
        return window.result;
      },
      Services().LanzouDownload());
}

void BM_ResolveBaidu(benchmark::State& state) {
  auto share = Services().HttpBase() + "/s/1bd1";
  NullWindow window;
  auto settings = Services().Settings();
  settings.http.caFile.clear();
  // A fresh resolver per resolve: the first visit then always gets the id cookie.
  Compare(
      state, BareBaidu,
      [&] { return morvane::BaiduResolver(settings).ResolveBaiduLink(share, window); },
      Services().BaiduDownload());
}

BENCHMARK(BM_ResolveChengtong)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveLanzou)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveBaidu)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
