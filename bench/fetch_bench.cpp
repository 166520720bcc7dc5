// Each fetcher against a bare libcurl easy transfer of the same loopback
// address, for a 10 MB body and a 2 KB page. After the run, every fetcher's
// time is printed as a ratio to the bare transfer of the same page.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "http/fetch_request_object.h"
#include "http/fetch_winhttp.h"
#include "http/fetch_wininet.h"

namespace {

const std::string& LargeBody() {
  static const std::string body(10 * 1000 * 1000, 'x');
  return body;
}

const std::string& SmallPage() {
  static const std::string page = "<html><body>" + std::string(2048 - 26, 'p') + "</body></html>";
  return page;
}

class LoopbackServer {
 public:
  LoopbackServer() {
    server_.Get("/large", [](const httplib::Request&, httplib::Response& response) {
      // Served from the one static buffer, without a copy per request.
      response.set_content_provider(
          LargeBody().size(), "application/octet-stream",
          [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            sink.write(LargeBody().data() + offset, std::min<std::size_t>(length, 1 << 20));
            return true;
          });
    });
    server_.Get("/small", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(SmallPage(), "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

LoopbackServer& Server() {
  static LoopbackServer server;
  return server;
}

struct BareBody {
  CURL* easy = nullptr;
  std::vector<unsigned char> bytes;
};

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& body = *static_cast<BareBody*>(user);
  if (body.bytes.empty()) {
    curl_off_t announced = -1;
    curl_easy_getinfo(body.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced > 0) body.bytes.reserve(static_cast<std::size_t>(announced));
  }
  body.bytes.insert(body.bytes.end(), data, data + size * count);
  return size * count;
}

// The reference: one easy handle per transfer, as each fetcher call makes one
// exchange of its own, a body buffer reserved from Content-Length, and the
// transport's receive buffer size, so that only our own work differs.
void BareCurl(benchmark::State& state, const char* path) {
  std::string url = Server().Url(path);
  for (auto _ : state) {
    BareBody body{.easy = curl_easy_init(), .bytes = {}};
    curl_easy_setopt(body.easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(body.easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(body.easy, CURLOPT_PROXY, "");
    curl_easy_setopt(body.easy, CURLOPT_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(body.easy, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(body.easy, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(body.easy);
    curl_easy_cleanup(body.easy);
    benchmark::DoNotOptimize(body.bytes.data());
  }
}

void RequestObject(benchmark::State& state, const char* path) {
  std::string url = Server().Url(path);
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FetchWithRequestObject(url).data());
}

void WinHttp(benchmark::State& state, const char* path) {
  std::string url = Server().Url(path);
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FetchWithWinHttp(url).data());
}

void WinInet(benchmark::State& state, const char* path) {
  std::string url = Server().Url(path);
  for (auto _ : state) benchmark::DoNotOptimize(morvane::FetchWithWinInet(url).data());
}

BENCHMARK_CAPTURE(BareCurl, large, "/large")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RequestObject, large, "/large")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(WinHttp, large, "/large")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(WinInet, large, "/large")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BareCurl, small, "/small")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(RequestObject, small, "/small")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(WinHttp, small, "/small")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(WinInet, small, "/small")->Unit(benchmark::kMicrosecond)->UseRealTime();

// Prints the usual table, then each fetcher's time over the bare transfer's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      // Named as captured ("WinHttp/large"); with
      // repetitions the median stands for the benchmark.
      std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        times_[name] = run.GetAdjustedRealTime();
        medians_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !medians_.contains(name)) {
        times_[name] = run.GetAdjustedRealTime();
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* page : {"large", "small"}) {
      auto bare = times_.find(std::string("BareCurl/") + page);
      if (bare == times_.end()) continue;
      for (const char* fetcher : {"RequestObject", "WinHttp", "WinInet"}) {
        auto found = times_.find(std::string(fetcher) + "/" + page);
        if (found == times_.end()) continue;
        std::printf("%-22s %.3fx bare libcurl\n", (std::string(fetcher) + "/" + page).c_str(),
                    found->second / bare->second);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
