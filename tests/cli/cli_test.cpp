#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace morvane::cli {
namespace {

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

RunResult RunCommand(std::vector<std::string> args, const std::string& input = {}) {
  args.insert(args.begin(), "morvane-cli");
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  int status = RunCli(args, in, out, err);
  return {status, out.str(), err.str()};
}

// Every sample share address routes to exactly its own service.
TEST(DetectService, RoutesSampleAddresses) {
  const struct {
    const char* url;
    std::optional<Service> service;
  } cases[] = {
      {"https://pan.baidu.com/s/1AbCdEfGhIjK", Service::kBaidu},
      {"http://pan.baidu.com/share/init?surl=AbCdEf", Service::kBaidu},
      {"https://yun.baidu.com/s/1xyz", Service::kBaidu},
      {"HTTPS://PAN.BAIDU.COM/s/1xyz", Service::kBaidu},
      {"https://url.ctfile.com/f/123-456-789", Service::kChengtong},
      {"https://ctfile.com/f/1", Service::kChengtong},
      {"http://www.400gb.com/file/123456", Service::kChengtong},
      {"https://www.ctdisk.com/file/42", Service::kChengtong},
      {"https://www.lanzoux.com/iAbc123", Service::kLanzou},
      {"https://wwa.lanzouw.com/iAbc123", Service::kLanzou},
      {"https://lanzous.com/b0f1", Service::kLanzou},
      {"www.lanzoui.com/iAbc", Service::kLanzou},
      // Look-alikes and strangers route nowhere.
      {"https://notbaidu.com/s/1", std::nullopt},
      {"https://baidu.com.evil.example/s/1", std::nullopt},
      {"https://evil.example/?u=pan.baidu.com/s/1", std::nullopt},
      {"https://example.com/lanzou", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DetectService(c.url), c.service) << c.url;
  }
}

TEST(RunCli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--json"},
      {"--frobnicate", "https://pan.baidu.com/s/1"},
      {"-s", "dropbox", "https://pan.baidu.com/s/1"},
      {"https://pan.baidu.com/s/1", "--service"},
      {"--cacert"},
      {"--json=yes", "https://pan.baidu.com/s/1"},
  };
  for (const auto& args : cases) {
    RunResult result = RunCommand(args);
    EXPECT_EQ(result.status, 2) << testing::PrintToString(args);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(result.err.find("morvane-cli: "), std::string::npos);
  }
}

TEST(RunCli, HelpAndVersionPrintAndSucceed) {
  RunResult help = RunCommand({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: morvane-cli [OPTIONS] URL..."), std::string::npos);
  EXPECT_NE(help.out.find("--lanzou-host HOST[:PORT]"), std::string::npos);

  RunResult version = RunCommand({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "morvane-cli 1.0\n");
}

TEST(RunCli, AddressOfUnknownServiceIsAnErrorForThatAddressOnly) {
  RunResult result = RunCommand({"--json", "https://example.com/file"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "{\"url\":\"https://example.com/file\",\"service\":null,\"link\":\"\","
            "\"error\":\"cannot tell the service of this address; use --service\"}\n");

  RunResult plain = RunCommand({"https://example.com/file"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_TRUE(plain.out.empty());
  EXPECT_EQ(plain.err,
            "morvane-cli: https://example.com/file: cannot tell the service of this address; use "
            "--service\n");
}

TEST(RunCli, DashReadsAddressesFromStandardInput) {
  RunResult result =
      RunCommand({"--json", "-"}, "https://example.com/a\r\n\nhttps://example.com/b\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("\"url\":\"https://example.com/a\""), std::string::npos);
  EXPECT_LT(result.out.find("example.com/a"), result.out.find("example.com/b"));
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2);
}

}  // namespace
}  // namespace morvane::cli
