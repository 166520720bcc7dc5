#include "cli/cli.h"

#include <condition_variable>
#include <istream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <utility>
#include <variant>

#include "http/url.h"
#include "resolvers/baidu.h"
#include "resolvers/chengtong.h"
#include "resolvers/lanzou.h"
#include "resolvers/settings.h"
#include "resolvers/window_operations.h"
#include "text/charset.h"
#include "version.h"

namespace morvane::cli {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: morvane-cli [OPTIONS] URL...
Turns share links of Baidu netdisk, Chengtong netdisk and Lanzou cloud into
direct download addresses, one per line on standard output.

  -s, --service baidu|chengtong|lanzou   service of every URL (default: detect from the host;
                                         a URL whose service cannot be told is an error for that URL)
      --lanzou-host HOST[:PORT]          Lanzou web host (frame page and /ajaxm.php, over https)
      --baidu-host HOST[:PORT]           Baidu netdisk web host (/api/sharedownload, over http)
      --cacert FILE                      also trust the CA certificates in FILE
      --insecure                         do not verify certificates
      --json                             one JSON object per URL and line: {"url","service","link"} and
                                         "error" (a message) when no address was found
  -v, --verbose                          describe each HTTP exchange on stderr (method, URL, status, sizes)
  -h, --help                             show this help and exit
      --version                          show the version and exit
  A URL of "-" reads URLs from standard input, one per line.

Exit status: 0 when every URL gave an address, 1 when any did not, 2 for a usage error.
)";

struct Options {
  std::optional<Service> service;
  Settings settings;
  bool json = false;
  bool verbose = false;
  std::vector<std::string> urls;  // UTF-8, as given
};

struct UsageError {
  std::string message;
};

// What parsing decided: run with options, or exit at once with a status
// after printing (help, version).
struct ExitNow {
  int status;
};

using ParseResult = std::variant<Options, UsageError, ExitNow>;

ParseResult ParseArguments(const std::vector<std::string>& args, std::istream& in,
                           std::ostream& out) {
  Options options;
  bool readStandardInput = false;
  bool onlyUrls = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string argument = args[i];
    if (onlyUrls || argument == "-" || argument.empty() || argument[0] != '-') {
      if (argument == "-" && !onlyUrls) {
        if (!readStandardInput) options.urls.push_back("-");
        readStandardInput = true;
      } else {
        options.urls.push_back(argument);
      }
      continue;
    }
    if (argument == "--") {
      onlyUrls = true;
      continue;
    }
    // "--name=value" carries its value inline.
    std::optional<std::string> inlineValue;
    if (argument.starts_with("--")) {
      if (auto equals = argument.find('='); equals != std::string::npos) {
        inlineValue = argument.substr(equals + 1);
        argument.resize(equals);
      }
    } else if (argument.size() > 2) {
      // "-sbaidu" is "-s baidu".
      inlineValue = argument.substr(2);
      argument.resize(2);
    }
    auto takeValue = [&]() -> std::optional<std::string> {
      if (inlineValue) return std::exchange(inlineValue, std::nullopt);
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    auto needsValue = [&](const std::string& name) -> std::optional<UsageError> {
      return UsageError{"option " + name + " needs a value"};
    };

    if (argument == "-h" || argument == "--help") {
      out << kUsage;
      return ExitNow{0};
    }
    if (argument == "--version") {
      out << "morvane-cli " << kVersion << '\n';
      return ExitNow{0};
    }
    if (argument == "-v" || argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--insecure") {
      options.settings.http.insecure = true;
    } else if (argument == "-s" || argument == "--service") {
      auto value = takeValue();
      if (!value) return *needsValue(argument);
      options.service = ParseServiceName(*value);
      if (!options.service) {
        return UsageError{"unknown service \"" + *value + "\" (use baidu, chengtong or lanzou)"};
      }
    } else if (argument == "--lanzou-host" || argument == "--baidu-host" ||
               argument == "--cacert") {
      auto value = takeValue();
      if (!value || value->empty()) return *needsValue(argument);
      if (argument == "--lanzou-host") options.settings.lanzouHost = *value;
      if (argument == "--baidu-host") options.settings.baiduHost = *value;
      if (argument == "--cacert") options.settings.http.caFile = *value;
    } else {
      return UsageError{"unknown option " + argument};
    }
    if (inlineValue) return UsageError{"option " + argument + " takes no value"};
  }

  if (readStandardInput) {
    std::vector<std::string> urls;
    for (const auto& url : options.urls) {
      if (url != "-") {
        urls.push_back(url);
        continue;
      }
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) urls.push_back(line);
      }
    }
    options.urls = std::move(urls);
  }
  if (options.urls.empty()) return UsageError{"no URL given"};
  return options;
}

// Stands in for the window while one URL is resolved: the address box holds
// the URL, the result box receives the resolver's result, and message boxes
// are kept to be reported with the URL's outcome.
class UrlWindow final : public WindowOperations {
 public:
  explicit UrlWindow(Text address) : address_(std::move(address)) {}

  Text ReadControlText(std::string_view control) override {
    std::lock_guard lock(mutex_);
    if (control == controls::kBaiduAddress || control == controls::kChengtongAddress ||
        control == controls::kLanzouAddress) {
      return address_;
    }
    if (control == controls::kVersion) return Text(kVersion);
    return result_;
  }

  void WriteControlText(std::string_view control, std::string_view text) override {
    std::lock_guard lock(mutex_);
    if (control == controls::kBaiduResult || control == controls::kChengtongResult ||
        control == controls::kLanzouResult) {
      result_.assign(text);
      finished_ = true;
      changed_.notify_all();
    }
  }

  void ShowMessageBox(std::string_view text, std::string_view title) override {
    std::lock_guard lock(mutex_);
    std::string message = GbkToUtf8(text);
    if (!title.empty()) message = GbkToUtf8(title) + ": " + message;
    messages_.push_back(std::move(message));
    // The Lanzou resolver ends with either a write or a message box.
    finished_ = true;
    changed_.notify_all();
  }

  void WaitUntilFinished() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return finished_; });
  }

  Text result() const {
    std::lock_guard lock(mutex_);
    return result_;
  }
  std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const Text address_;
  Text result_;
  std::vector<std::string> messages_;
  bool finished_ = false;
};

struct Job {
  std::string url;  // UTF-8, as given
  std::optional<Service> service;
  std::shared_ptr<UrlWindow> window;
};

std::string JoinMessages(const std::vector<std::string>& messages) {
  std::string joined;
  for (const auto& message : messages) {
    if (!joined.empty()) joined += "; ";
    joined += message;
  }
  return joined;
}

}  // namespace

std::string_view ServiceName(Service service) {
  switch (service) {
    case Service::kBaidu:
      return "baidu";
    case Service::kChengtong:
      return "chengtong";
    case Service::kLanzou:
      return "lanzou";
  }
  return {};
}

std::optional<Service> ParseServiceName(std::string_view name) {
  for (Service service : {Service::kBaidu, Service::kChengtong, Service::kLanzou}) {
    if (name == ServiceName(service)) return service;
  }
  return std::nullopt;
}

std::optional<Service> DetectService(std::string_view url) {
  const Text host = UrlHost(url);
  auto isDomainOrSubdomain = [&host](std::string_view domain) {
    return host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                              host[host.size() - domain.size() - 1] == '.');
  };
  if (isDomainOrSubdomain("baidu.com")) return Service::kBaidu;
  for (std::string_view domain : {"ctfile.com", "ctdisk.com", "400gb.com", "pipipan.com"}) {
    if (isDomainOrSubdomain(domain)) return Service::kChengtong;
  }
  // Lanzou serves its shares from many sister domains: lanzous.com,
  // lanzoux.com, lanzoui.com, wwa.lanzouw.com, ...
  std::string_view rest = host;
  while (!rest.empty()) {
    if (rest.starts_with("lanzou") && rest.find('.') != std::string_view::npos) {
      return Service::kLanzou;
    }
    auto dot = rest.find('.');
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return std::nullopt;
}

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err) {
  ParseResult parsed = ParseArguments(args, in, out);
  if (auto* exitNow = std::get_if<ExitNow>(&parsed)) return exitNow->status;
  if (auto* usage = std::get_if<UsageError>(&parsed)) {
    err << "morvane-cli: " << usage->message << "\nTry 'morvane-cli --help' for more.\n";
    return 2;
  }
  Options& options = std::get<Options>(parsed);

  // Lanzou workers report from their own threads; one lock keeps lines whole.
  auto errorMutex = std::make_shared<std::mutex>();
  if (options.verbose) {
    options.settings.http.onExchange = [&err, errorMutex](const ExchangeSummary& exchange) {
      std::lock_guard lock(*errorMutex);
      err << "* " << exchange.method << ' ' << exchange.url << " -> ";
      if (exchange.status != 0) err << exchange.status;
      if (!exchange.error.empty()) err << (exchange.status != 0 ? " " : "") << exchange.error;
      err << " (sent " << exchange.bytesSent << " B, received " << exchange.bytesReceived
          << " B)\n";
    };
  }

  std::vector<Job> jobs;
  jobs.reserve(options.urls.size());
  for (const auto& url : options.urls) {
    const Text address = Utf8ToGbk(url);
    jobs.push_back({url, options.service ? options.service : DetectService(address),
                    std::make_shared<UrlWindow>(address)});
  }

  // Lanzou resolves run on threads of their own; start them all first so they
  // overlap with the others, then report every URL in input order.
  LanzouClickHandler lanzou;
  for (const auto& job : jobs) {
    if (job.service == Service::kLanzou) lanzou.OnResolveLanzou(job.window, options.settings);
  }
  BaiduResolver baidu(options.settings);

  int status = 0;
  for (const auto& job : jobs) {
    if (job.service == Service::kBaidu) {
      OnResolveBaidu(*job.window, baidu);
    } else if (job.service == Service::kChengtong) {
      OnResolveChengtong(*job.window, options.settings);
    } else if (job.service == Service::kLanzou) {
      job.window->WaitUntilFinished();
    }

    const std::string link = GbkToUtf8(job.window->result());
    const std::vector<std::string> messages = job.window->messages();
    std::string error;
    if (!job.service) {
      error = "cannot tell the service of this address; use --service";
    } else if (link.empty()) {
      error = messages.empty() ? "no download address found" : JoinMessages(messages);
    }
    if (!error.empty()) status = 1;

    if (options.json) {
      nlohmann::ordered_json line = {
          {"url", job.url},
          {"service", job.service ? nlohmann::ordered_json(ServiceName(*job.service))
                                  : nlohmann::ordered_json(nullptr)},
          {"link", link}};
      if (!error.empty()) line["error"] = error;
      out << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
      if (!link.empty()) out << link << '\n';
      std::lock_guard lock(*errorMutex);
      // A message box that came with an address is still worth seeing.
      if (!link.empty() && !messages.empty()) {
        err << "morvane-cli: " << job.url << ": " << JoinMessages(messages) << '\n';
      }
      if (!error.empty()) err << "morvane-cli: " << job.url << ": " << error << '\n';
    }
    out.flush();
  }
  return status;
}

}  // namespace morvane::cli
